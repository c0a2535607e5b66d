// Lit, textured, opaque: the texture in tex0 modulated by the lit vertex
// colour. The vertex colour stands for the material's diffuse and ambient
// colours, so a mesh is tinted by its own colours; the raised ambient term
// keeps it readable where no light is handed to the renderer, and a scene's
// directional light adds the shading.

texture tex0;

sampler Surface = sampler_state
{
    Texture = <tex0>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
    AddressU = Wrap;
    AddressV = Wrap;
};

technique Lit
{
    pass P0
    {
        VertexShader = NULL;
        PixelShader = NULL;

        Lighting = true;
        Ambient = 0xFFD0D0D0;
        ColorVertex = true;
        DiffuseMaterialSource = Color1;
        AmbientMaterialSource = Color1;
        SpecularEnable = false;
        NormalizeNormals = true;

        ZEnable = true;
        ZWriteEnable = true;
        ZFunc = LessEqual;
        AlphaBlendEnable = false;
        AlphaTestEnable = false;
        CullMode = CCW;

        Sampler[0] = (Surface);
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
