texture tex0;
texture tex1 < string name = "glow.tga"; >;
float time : TIME = 0.5;
sampler Glow = sampler_state { Texture = <tex1>; MinFilter = Linear; AddressU = Mirror; MipMapLodBias = -0.5; };
technique T < int a = 1; >
{
    pass A { ZEnable = D3DZB_TRUE; ColorArg1[0] = Texture | AlphaReplicate; Texture[0] = (tex0); Sampler[1] = <Glow>; }
    pass { TextureFactor = 0xFF8040C0; FogStart = .25f; StencilMask = -1; ColorWriteEnable = Red | Alpha; }
}
