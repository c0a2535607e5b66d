// Particles: the texture's colour, weighted by its alpha and the particle's,
// added over what is drawn before them (depth is neither tested nor
// written: sparks show over the ships). A fading particle's vertex colour
// carries its alpha alone (black), so it glows less as it ages.

texture tex0;

sampler Sprite = sampler_state
{
    Texture = <tex0>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
    AddressU = Clamp;
    AddressV = Clamp;
};

technique Additive
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
        SrcBlend = SrcAlpha;
        DestBlend = One;
        AlphaTestEnable = false;

        Sampler[0] = (Sprite);
        ColorOp[0] = SelectArg1;
        ColorArg1[0] = Texture;
        AlphaOp[0] = Modulate;
        AlphaArg1[0] = Texture;
        AlphaArg2[0] = Diffuse;

        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
