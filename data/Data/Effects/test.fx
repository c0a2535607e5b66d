// The splines' debug paths (drawn when the configuration key "splines" is
// set): the vertex colour as it is, unlit, seen from both sides, in front of
// the level's geometry as the depth test allows.

technique Test
{
    pass P0
    {
        VertexShader = NULL;
        PixelShader = NULL;

        Lighting = false;
        FogEnable = false;
        ZEnable = true;
        ZWriteEnable = false;
        ZFunc = LessEqual;
        CullMode = None;
        FillMode = Wireframe;
        AlphaTestEnable = false;
        AlphaBlendEnable = false;

        ColorOp[0] = SelectArg1;
        ColorArg1[0] = Diffuse;
        AlphaOp[0] = SelectArg1;
        AlphaArg1[0] = Diffuse;

        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
