// A frame of a texture atlas, as the star field and the explosions cut theirs.
#pragma once

// The corner with the smaller texture coordinates, then the opposite one.
struct SKFrameRect {
    float uMin, vMin;
    float uMax, vMax;
};
