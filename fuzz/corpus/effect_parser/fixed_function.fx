// lights, the material and the transforms as literals
technique Lit
{
    pass P0
    {
        LightType[0] = Directional;
        LightDiffuse[0] = float4(1, 0.9, 0.8, 1);
        LightSpecular[0] = {1, 1, 1, 0};
        LightAmbient[0] = {0.1, 0.1, 0.1, 1};
        LightDirection[0] = float3(0, -1, 0.5);
        LightEnable[0] = true;
        LightType[3] = D3DLIGHT_SPOT;
        LightPosition[3] = {0, 5, -2};
        LightRange[3] = 100;
        LightFalloff[3] = 1.0f;
        LightAttenuation0[3] = 1;
        LightAttenuation1[3] = .5;
        LightAttenuation2[3] = 0;
        LightTheta[3] = 0.25;
        LightPhi[3] = 1e0;
        LightEnable[3] = 1;
        MaterialDiffuse = float4(1, 1, 1, 1);
        MaterialAmbient = {0.2, 0.2, 0.2, 1};
        MaterialSpecular = {1, 1, 1, 1};
        MaterialEmissive = float4(0, 0, 0, 0);
        MaterialPower = 20;
        ViewTransform = {1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,14.5,1};
        ProjectionTransform = float4x4(float4(1,0,0,0), float4(0,1,0,0), 0,0,1,1, {0,0,-0.1,0});
        WorldTransform[1] = { {1,0,0,0}, {0,1,0,0}, {0,0,1,0}, {0,0,0,1}, };
        TextureTransform[7] = {2,0,0,0, 0,2,0,0, 0,0,1,0, 0,0,0,1};
    }
}
