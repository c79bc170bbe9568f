#pragma once
// Polynomial cosine, good to float precision for x in [-pi/2, 5pi/2). The
// filters call it once per block per section, never per sample.

float FastCos(float x);
