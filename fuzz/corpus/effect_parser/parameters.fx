// every parameter type, with semantics, annotations and initialisers,
// and states that read them
texture tex0 < string ResourceName = "ship.tga"; >;
float Power : SPECULARPOWER < string UIName = "a > b"; float UIMin = 0; > = 16;
float2 Scroll = float2(0.5, -1);
float3 Direction : DIRECTION = {0, -1, 0};
float4 Diffuse : DIFFUSE = float4(1, 0.5, 0.25, 1);
float4x4 World : WORLD = {1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1};
float4x4 Zero;
dword Colour = 0xFF8040C0;
DWORD Kind = 3;
int Count = -3;
bool On = true;
string Name = "hull";

technique T
{
    pass P0
    {
        VertexShader = NULL;
        MaterialDiffuse = <Diffuse>;
        MaterialPower = (Power);
        LightType[1] = <Kind>;
        LightDirection[1] = <Direction>;
        LightRange[1] = <Count>;
        LightEnable[1] = (On);
        WorldTransform[0] = <World>;
        TextureTransform[0] = (Zero);
        Texture[0] = <tex0>;
    }
}
