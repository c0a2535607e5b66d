// Screen-space interface drawing: unlit, no depth, alpha blended, the
// texture in tex0 modulated by the vertex colour.

texture tex0;

sampler InterfaceSampler = sampler_state
{
    Texture = <tex0>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = None;     // interface art is drawn at its own size
    AddressU = Clamp;
    AddressV = Clamp;
};

technique Interface
{
    pass P0
    {
        VertexShader = NULL;
        PixelShader = NULL;

        Lighting = false;
        ZEnable = false;
        ZWriteEnable = false;
        CullMode = None;
        AlphaTestEnable = false;
        AlphaBlendEnable = true;
        BlendOp = Add;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;

        Sampler[0] = (InterfaceSampler);

        ColorOp[0] = Modulate;
        ColorArg1[0] = Texture;
        ColorArg2[0] = Diffuse;
        AlphaOp[0] = Modulate;
        AlphaArg1[0] = Texture;
        AlphaArg2[0] = Diffuse;

        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
