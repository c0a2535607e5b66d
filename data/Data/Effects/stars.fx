// The star field: each quad shows its image of the atlas, added to the
// background behind everything else, and writes no depth.

texture tex0;

sampler Atlas = sampler_state
{
    Texture = <tex0>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};

technique Stars
{
    pass P0
    {
        VertexShader = NULL;
        PixelShader = NULL;

        Lighting = false;
        ZEnable = false;
        ZWriteEnable = false;
        CullMode = None;
        AlphaBlendEnable = true;
        SrcBlend = One;
        DestBlend = One;
        AlphaTestEnable = false;

        Sampler[0] = (Atlas);
        ColorOp[0] = SelectArg1;
        ColorArg1[0] = Texture;
        AlphaOp[0] = SelectArg1;
        AlphaArg1[0] = Texture;

        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
