// The image settings of page conversion, read once per run from option.ini.
#pragma once

struct ImageSettings {
  int colorDepth = 24;    // bits per pixel; 0 means the default, drawn as 24
  float xResolution = 0;  // dots per inch; 0: not set
  float yResolution = 0;
  int specifySize = 0;  // non-zero: width and height below set the pixel size
  int width = 0;
  int height = 0;
  int grayscale = 0;
  int reducePng = 0;  // non-zero: PNG pages as grey levels or a palette where no pixel changes
};
