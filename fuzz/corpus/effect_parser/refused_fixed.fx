// refused: a float3 where the material takes a float4
float3 Tint = {1, 0, 0};
technique T { pass P { LightEnable[0] = true; MaterialDiffuse = <Tint>; } }
