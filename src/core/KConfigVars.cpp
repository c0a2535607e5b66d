#include "core/KConfigVars.h"

int screenWidth = 640;
int screenHeight = 480;
int screenBPP = 16;
int fullScreen = 0;
int statistic = 0;
int splines = 0;
int bboxes = 0;
int channels = 2;
int frequency = 22050;
int bitrate = 8;
float soundVolume = 0.5f;
float musicVolume = 0.5f;
