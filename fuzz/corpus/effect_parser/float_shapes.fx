float4x3 Bones = float4x3(float3(1,0,0), 0,1,0, 0,0,1, 4,5,6);
half2 Scroll = half2(0.5, 0.25);
double Time;
float3x3 Normal = {1,0,0, 0,1,0, 0,0,1};
float4x4 World;
technique T { pass P { WorldTransform[0] = <World>; Lighting = false; } }
