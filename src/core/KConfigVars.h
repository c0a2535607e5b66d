// The game's settings: plain globals that every subsystem reads directly,
// with their defaults. config.cfg sets them by name at start-up.
#pragma once

extern int screenWidth;
extern int screenHeight;
extern int screenBPP;
extern int fullScreen;
extern int statistic;
extern int splines;
extern int bboxes;
extern int channels;
extern int frequency;
extern int bitrate;
extern float soundVolume;
extern float musicVolume;
