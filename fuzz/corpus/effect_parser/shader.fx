float4 main(float4 p : POSITION) : COLOR { return p; }
technique T { pass P { PixelShader = compile ps_2_0 main(); } }
