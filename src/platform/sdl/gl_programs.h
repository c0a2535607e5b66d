// The GLSL programs of the GL drawing: D3D9's vertex processing for draws,
// and the present pass that scales the frame through the gamma ramp.
#pragma once

#include "platform/sdl/gl_api.h"

namespace platform::sdl {

// Generic attribute slots of the draw program; stage s reads its texture
// coordinates from kAttribStage0 + s.
enum : GLuint { kAttribPosition = 0, kAttribNormal, kAttribDiffuse, kAttribSpecular, kAttribStage0 };

// Where a draw program's uniforms are (-1: optimised away).
struct DrawUniforms {
    GLint worldView = -1, projection = -1, normalMatrix = -1, normalize = -1, specular = -1, localViewer = -1,
          lightCount = -1, lightDiffuse = -1, lightSpecular = -1, lightAmbient = -1, lightPosition = -1,
          lightDirection = -1, lightAttenuation = -1, material = -1, power = -1, colorSource = -1, ambient = -1,
          fogSource = -1;
};

// Where a linked draw program's uniforms are.
DrawUniforms UniformsOf(GLuint program);

struct DrawProgram {
    GLuint id = 0;
    DrawUniforms u;
};

// The programs of one context: a draw program for lit and one for unlit
// draws, and the present program, which reads the frame from texture unit 0
// and the gamma ramp from unit 1, and its one attribute, the quad's
// corners, from slot 0.
struct GlPrograms {
    DrawProgram unlit, lit;
    GLuint present = 0;

    // Needs the context current; false (and the log on standard error) when
    // a program does not compile or link. Destroy frees what was made.
    bool Create(int maxLights, int stages);
    void Destroy();
};

}  // namespace platform::sdl
