// The explosions' sprites: a frame of the atlas in tex0 times the vertex
// colour (white), added to what lies behind, so the atlas's black adds
// nothing. Unlit (the sprites carry no normals; the explosion's own point
// light is for the ships around it), seen from both sides, tested against
// depth but not written to it, so the stacked sprites never hide each
// other. Clamped, so a frame at the atlas's edge takes nothing from the
// other side.

texture tex0;

sampler Frame = sampler_state
{
    Texture = <tex0>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};

technique Light
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

        Sampler[0] = (Frame);
        ColorOp[0] = Modulate;
        ColorArg1[0] = Texture;
        ColorArg2[0] = Diffuse;
        AlphaOp[0] = SelectArg1;
        AlphaArg1[0] = Texture;

        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
