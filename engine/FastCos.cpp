#include "engine/FastCos.h"

float FastCos(float x)
{
    // Fold into [-pi/2, pi/2] where the even polynomial is accurate.
    if (x > 4.712389f)
        x -= 6.2831854820251465f;
    float sign = 1.0f;
    if (x > 1.5707963705062866f) {
        x = 3.1415927410125732f - x;
        sign = -1.0f;
    }
    const float z = x * x;
    float p = z * -2.605000020139414e-7f;
    p = z * (2.476090048730839e-5f + p);
    p = z * (-0.001388839678838849f + p);
    p = z * (0.04166664183139801f + p);
    p = z * (-0.5f + p);
    return sign * (1.0f + p);
}
