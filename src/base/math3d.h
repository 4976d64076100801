// Vectors and 4x4 matrices in the scene's convention: row vectors (a point is transformed as p x M),
// left-handed coordinates (X right, Y up, Z into the screen), depth 0..1. A product A x B applies A
// first. Pure arithmetic, no GL: the scene, the UI and tests all use it.
#pragma once

#include <cmath>

struct Vector3 {
    float x = 0, y = 0, z = 0;
};

struct Vector4 {
    float x = 0, y = 0, z = 0, w = 0;
};

struct Matrix {
    float m[4][4] = {};  // m[row][column]; translation lives in row 3

    bool operator==(const Matrix&) const = default;
};

inline Matrix MatrixIdentity() {
    Matrix r;
    for (int i = 0; i < 4; ++i) r.m[i][i] = 1.0f;
    return r;
}

inline Matrix MatrixTranslation(float x, float y, float z) {
    Matrix r = MatrixIdentity();
    r.m[3][0] = x;
    r.m[3][1] = y;
    r.m[3][2] = z;
    return r;
}

inline Matrix MatrixScaling(float s) {
    Matrix r = MatrixIdentity();
    r.m[0][0] = r.m[1][1] = r.m[2][2] = s;
    return r;
}

// Rotations turn clockwise when looking along the axis towards the origin, as in a left-handed system.
inline Matrix MatrixRotationX(float angle) {
    Matrix r = MatrixIdentity();
    const float c = std::cos(angle), s = std::sin(angle);
    r.m[1][1] = c;
    r.m[1][2] = s;
    r.m[2][1] = -s;
    r.m[2][2] = c;
    return r;
}

inline Matrix MatrixRotationY(float angle) {
    Matrix r = MatrixIdentity();
    const float c = std::cos(angle), s = std::sin(angle);
    r.m[0][0] = c;
    r.m[0][2] = -s;
    r.m[2][0] = s;
    r.m[2][2] = c;
    return r;
}

inline Matrix MatrixRotationZ(float angle) {
    Matrix r = MatrixIdentity();
    const float c = std::cos(angle), s = std::sin(angle);
    r.m[0][0] = c;
    r.m[0][1] = s;
    r.m[1][0] = -s;
    r.m[1][1] = c;
    return r;
}

// a x b: the transform that applies a first, then b.
inline Matrix MatrixMultiply(const Matrix& a, const Matrix& b) {
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a.m[i][k] * b.m[k][j];
            r.m[i][j] = sum;
        }
    return r;
}

inline Matrix operator*(const Matrix& a, const Matrix& b) {
    return MatrixMultiply(a, b);
}

// (x, y, z, 1) x m.
inline Vector4 TransformPoint(const Vector3& p, const Matrix& m) {
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
            p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
            p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2],
            p.x * m.m[0][3] + p.y * m.m[1][3] + p.z * m.m[2][3] + m.m[3][3]};
}

inline Vector3 Subtract(const Vector3& a, const Vector3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline float Dot(const Vector3& a, const Vector3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vector3 Cross(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline Vector3 Normalize(const Vector3& v) {
    const float length = std::sqrt(Dot(v, v));
    return length > 0 ? Vector3{v.x / length, v.y / length, v.z / length} : v;
}

// Left-handed look-at view matrix.
inline Matrix MatrixLookAtLH(const Vector3& eye, const Vector3& at, const Vector3& up) {
    const Vector3 zaxis = Normalize(Subtract(at, eye));
    const Vector3 xaxis = Normalize(Cross(up, zaxis));
    const Vector3 yaxis = Cross(zaxis, xaxis);
    Matrix r = MatrixIdentity();
    r.m[0][0] = xaxis.x;
    r.m[0][1] = yaxis.x;
    r.m[0][2] = zaxis.x;
    r.m[1][0] = xaxis.y;
    r.m[1][1] = yaxis.y;
    r.m[1][2] = zaxis.y;
    r.m[2][0] = xaxis.z;
    r.m[2][1] = yaxis.z;
    r.m[2][2] = zaxis.z;
    r.m[3][0] = -Dot(xaxis, eye);
    r.m[3][1] = -Dot(yaxis, eye);
    r.m[3][2] = -Dot(zaxis, eye);
    return r;
}
