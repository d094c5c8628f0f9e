// The promotional animation the installer configuration points at.
#pragma once

#include <string>

// A small looping animated GIF (GIF89a, 3 frames of 48x24 pixels, 0.5 s each, 4-colour global
// palette, LZW-compressed image data), the same bytes on every call.
std::string MakeBannerGif();
