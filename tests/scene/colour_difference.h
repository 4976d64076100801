// How far apart two colours on the screen look: sRGB pixels to CIELAB (D65), the CIEDE2000 colour
// difference, and the look of a colour to a viewer with protanopia, deuteranopia or tritanopia
// (Machado, Oliveira and Fernandes 2009, full severity, applied to linear RGB).
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace colour {

using Rgb = std::array<double, 3>;  // 0..1
using Lab = std::array<double, 3>;  // L*, a*, b*

enum class Vision { Normal, Protanopia, Deuteranopia, Tritanopia };

inline double SrgbToLinear(double c) {
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// What a viewer sees of a linear RGB colour, as the linear RGB colour a normal viewer would see alike.
inline Rgb Simulate(const Rgb& linear, Vision vision) {
    static constexpr double Protan[3][3] = {
        {0.152286, 1.052583, -0.204868}, {0.114503, 0.786281, 0.099216}, {-0.003882, -0.048116, 1.051998}};
    static constexpr double Deutan[3][3] = {
        {0.367322, 0.860646, -0.227968}, {0.280085, 0.672501, 0.047413}, {-0.011820, 0.042940, 0.968881}};
    static constexpr double Tritan[3][3] = {
        {1.255528, -0.076749, -0.178779}, {-0.078411, 0.930809, 0.147602}, {0.004733, 0.691367, 0.303900}};
    const double(*m)[3] = vision == Vision::Protanopia     ? Protan
                          : vision == Vision::Deuteranopia ? Deutan
                          : vision == Vision::Tritanopia   ? Tritan
                                                           : nullptr;
    if (!m) return linear;
    Rgb out{};
    for (int r = 0; r < 3; ++r)
        out[r] = std::clamp(m[r][0] * linear[0] + m[r][1] * linear[1] + m[r][2] * linear[2], 0.0, 1.0);
    return out;
}

inline Lab LinearToLab(const Rgb& c) {
    const double x = (0.4124564 * c[0] + 0.3575761 * c[1] + 0.1804375 * c[2]) / 0.95047;
    const double y = 0.2126729 * c[0] + 0.7151522 * c[1] + 0.0721750 * c[2];
    const double z = (0.0193339 * c[0] + 0.1191920 * c[1] + 0.9503041 * c[2]) / 1.08883;
    auto f = [](double t) { return t > 216.0 / 24389 ? std::cbrt(t) : (24389.0 / 27 * t + 16) / 116; };
    return {116 * f(y) - 16, 500 * (f(x) - f(y)), 200 * (f(y) - f(z))};
}

// An sRGB colour (0..1 per channel) as the viewer sees it, in CIELAB.
inline Lab SeenAs(const Rgb& srgb, Vision vision) {
    return LinearToLab(
        Simulate({SrgbToLinear(srgb[0]), SrgbToLinear(srgb[1]), SrgbToLinear(srgb[2])}, vision));
}

// CIEDE2000 with kL = kC = kH = 1 (Sharma, Wu and Dalal 2005).
inline double Ciede2000(const Lab& lab1, const Lab& lab2) {
    constexpr double Pi = std::numbers::pi;
    auto degrees = [](double radians) { return radians * 180 / Pi; };
    auto radians = [](double degrees) { return degrees * Pi / 180; };
    const double c1 = std::hypot(lab1[1], lab1[2]), c2 = std::hypot(lab2[1], lab2[2]);
    const double meanC7 = std::pow((c1 + c2) / 2, 7);
    const double g = 0.5 * (1 - std::sqrt(meanC7 / (meanC7 + std::pow(25.0, 7))));
    const double a1 = (1 + g) * lab1[1], a2 = (1 + g) * lab2[1];
    const double cp1 = std::hypot(a1, lab1[2]), cp2 = std::hypot(a2, lab2[2]);
    auto hue = [&](double a, double b) {
        if (a == 0 && b == 0) return 0.0;
        const double h = degrees(std::atan2(b, a));
        return h < 0 ? h + 360 : h;
    };
    const double h1 = hue(a1, lab1[2]), h2 = hue(a2, lab2[2]);
    const double dL = lab2[0] - lab1[0], dC = cp2 - cp1;
    double dh = 0;
    if (cp1 * cp2 != 0) {
        dh = h2 - h1;
        if (dh > 180) dh -= 360;
        if (dh < -180) dh += 360;
    }
    const double dH = 2 * std::sqrt(cp1 * cp2) * std::sin(radians(dh / 2));
    const double meanL = (lab1[0] + lab2[0]) / 2, meanCp = (cp1 + cp2) / 2;
    double meanH = h1 + h2;
    if (cp1 * cp2 != 0) {
        if (std::fabs(h1 - h2) <= 180)
            meanH = (h1 + h2) / 2;
        else
            meanH = h1 + h2 < 360 ? (h1 + h2 + 360) / 2 : (h1 + h2 - 360) / 2;
    }
    const double t = 1 - 0.17 * std::cos(radians(meanH - 30)) + 0.24 * std::cos(radians(2 * meanH)) +
                     0.32 * std::cos(radians(3 * meanH + 6)) - 0.20 * std::cos(radians(4 * meanH - 63));
    const double dTheta = 30 * std::exp(-std::pow((meanH - 275) / 25, 2));
    const double meanCp7 = std::pow(meanCp, 7);
    const double rc = 2 * std::sqrt(meanCp7 / (meanCp7 + std::pow(25.0, 7)));
    const double sl = 1 + 0.015 * std::pow(meanL - 50, 2) / std::sqrt(20 + std::pow(meanL - 50, 2));
    const double sc = 1 + 0.045 * meanCp, sh = 1 + 0.015 * meanCp * t;
    const double rt = -std::sin(radians(2 * dTheta)) * rc;
    return std::sqrt(std::pow(dL / sl, 2) + std::pow(dC / sc, 2) + std::pow(dH / sh, 2) +
                     rt * (dC / sc) * (dH / sh));
}

}  // namespace colour
