// OpenGL 2.1 as the GL drawing here calls it: core and extension entry points
// declared for direct calls, so every GL file sees the same declarations.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
