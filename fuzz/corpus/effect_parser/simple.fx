// Lit, textured, opaque material: the texture in tex0 modulated by the
// lit vertex colour.

texture tex0;

technique Simple
{
    pass P0
    {
        VertexShader = NULL;
        PixelShader = NULL;

        Lighting = true;
        ZEnable = true;
        ZWriteEnable = true;
        ZFunc = LessEqual;
        AlphaBlendEnable = false;
        AlphaTestEnable = false;
        CullMode = CCW;

        Texture[0] = <tex0>;
        MinFilter[0] = Linear;
        MagFilter[0] = Linear;
        MipFilter[0] = Linear;
        AddressU[0] = Wrap;
        AddressV[0] = Wrap;

        ColorOp[0] = Modulate;
        ColorArg1[0] = Texture;
        ColorArg2[0] = Diffuse;
        AlphaOp[0] = SelectArg1;
        AlphaArg1[0] = Diffuse;

        // Stage 1 off ends the cascade after stage 0.
        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
