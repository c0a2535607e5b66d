// Additive glow for exhausts and flares: the texture in tex0 times the
// vertex colour is added to what lies behind, so black adds nothing and
// the vertex alpha does not matter. Unlit, seen from both sides, tested
// against depth but not written to it, so glows never hide each other.
// Draw it on a layer after the opaque meshes it lies over.

texture tex0;

sampler Glow = sampler_state
{
    Texture = <tex0>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
    AddressU = Wrap;
    AddressV = Wrap;
};

technique Glow
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
        AlphaTestEnable = false;
        AlphaBlendEnable = true;
        BlendOp = Add;
        SrcBlend = One;
        DestBlend = One;

        Sampler[0] = (Glow);
        ColorOp[0] = Modulate;
        ColorArg1[0] = Texture;
        ColorArg2[0] = Diffuse;
        AlphaOp[0] = SelectArg1;
        AlphaArg1[0] = Texture;

        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
