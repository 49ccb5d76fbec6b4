// Three-vectors and placement frames shared by the geometry, the tracking and
// the components. A frame maps local coordinates p to axes*p + origin.
#pragma once

#include <cmath>

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator*(double s, Vec3 a) {
    return {s * a.x, s * a.y, s * a.z};
}
inline Vec3 operator*(Vec3 a, double s) {
    return {s * a.x, s * a.y, s * a.z};
}
inline double dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline double norm2(Vec3 a) {
    return dot(a, a);
}
inline double norm(Vec3 a) {
    return std::sqrt(norm2(a));
}
inline Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

struct Frame3 {
    Vec3 origin;
    // Row by row: a[0..2] is the first row.
    double axes[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
};

// p := axes*p + origin
inline void frameToGlobal(const Frame3& f, Vec3& p) {
    const double* a = f.axes;
    p = {a[0] * p.x + a[1] * p.y + a[2] * p.z + f.origin.x,
         a[3] * p.x + a[4] * p.y + a[5] * p.z + f.origin.y,
         a[6] * p.x + a[7] * p.y + a[8] * p.z + f.origin.z};
}

// p := transpose(axes)*(p - origin)
inline void frameToLocal(const Frame3& f, Vec3& p) {
    const double* a = f.axes;
    Vec3 d = p - f.origin;
    p = {a[0] * d.x + a[3] * d.y + a[6] * d.z, a[1] * d.x + a[4] * d.y + a[7] * d.z,
         a[2] * d.x + a[5] * d.y + a[8] * d.z};
}

// p := axes*p
inline void frameRotate(const Frame3& f, Vec3& p) {
    const double* a = f.axes;
    p = {a[0] * p.x + a[1] * p.y + a[2] * p.z, a[3] * p.x + a[4] * p.y + a[5] * p.z,
         a[6] * p.x + a[7] * p.y + a[8] * p.z};
}

// p := transpose(axes)*p
inline void frameUnrotate(const Frame3& f, Vec3& p) {
    const double* a = f.axes;
    p = {a[0] * p.x + a[3] * p.y + a[6] * p.z, a[1] * p.x + a[4] * p.y + a[7] * p.z,
         a[2] * p.x + a[5] * p.y + a[8] * p.z};
}
