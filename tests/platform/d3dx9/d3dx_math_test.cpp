#include "platform/d3dx9/d3dx9math.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float kTol = 1e-5f;

void ExpectMatrixNear(const D3DXMATRIX& got, const D3DXMATRIX& want, float tol = kTol) {
    for (unsigned r = 0; r < 4; ++r)
        for (unsigned c = 0; c < 4; ++c) EXPECT_NEAR(got(r, c), want(r, c), tol) << "row " << r << " col " << c;
}

void ExpectVec3Near(const D3DXVECTOR3& got, const D3DXVECTOR3& want, float tol = kTol) {
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
}

void ExpectVec4Near(const D3DXVECTOR4& got, const D3DXVECTOR4& want, float tol = kTol) {
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
    EXPECT_NEAR(got.w, want.w, tol);
}

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

D3DXVECTOR3 Apply(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &v, &m);
    return out;
}

const float kHalfPi = D3DX_PI / 2;

// Row-major layout: _ij is row i, column j, and m[i-1][j-1] is the same float.
TEST(D3DXMatrixType, LayoutAndAccessors) {
    const D3DXMATRIX m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    EXPECT_EQ(m._12, 2.0f);
    EXPECT_EQ(m._21, 5.0f);
    EXPECT_EQ(m._43, 15.0f);
    EXPECT_EQ(m.m[3][2], 15.0f);
    EXPECT_EQ(m(1, 0), 5.0f);
    EXPECT_EQ(static_cast<const float*>(m)[4], 5.0f);
    EXPECT_TRUE(m == D3DXMATRIX(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16));
    EXPECT_FALSE(m == Identity());
    static_assert(sizeof(D3DXMATRIX) == 16 * sizeof(float));
    static_assert(sizeof(D3DXVECTOR3) == 3 * sizeof(float));
}

TEST(D3DXVectorType, Operators) {
    const D3DXVECTOR3 a(1, 2, 3), b(4, -5, 6);
    EXPECT_EQ(a + b, D3DXVECTOR3(5, -3, 9));
    EXPECT_EQ(a - b, D3DXVECTOR3(-3, 7, -3));
    EXPECT_EQ(a * 2.0f, D3DXVECTOR3(2, 4, 6));
    EXPECT_EQ(2.0f * a, D3DXVECTOR3(2, 4, 6));
    EXPECT_EQ(-a, D3DXVECTOR3(-1, -2, -3));
    EXPECT_TRUE(a != b);
    EXPECT_EQ(D3DXVECTOR2(1, 2) + D3DXVECTOR2(3, 4), D3DXVECTOR2(4, 6));
    EXPECT_EQ(D3DXVECTOR4(1, 2, 3, 4) * 0.5f, D3DXVECTOR4(0.5f, 1, 1.5f, 2));
}

TEST(D3DXMatrixMultiply, ProductOfRowsByColumns) {
    const D3DXMATRIX a(1, 2, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 3, 0, 0, 1);
    const D3DXMATRIX b(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 1, 1, 1, 1);
    // a*b: each row of a combines the rows of b.
    const D3DXMATRIX ab(2, 6, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 7, 1, 1, 1);
    // b*a differs: the product does not commute.
    const D3DXMATRIX ba(2, 4, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 4, 3, 1, 1);
    D3DXMATRIX out;
    EXPECT_EQ(D3DXMatrixMultiply(&out, &a, &b), &out);
    ExpectMatrixNear(out, ab);
    ExpectMatrixNear(a * b, ab);
    ExpectMatrixNear(b * a, ba);

    D3DXMATRIX lhs = a;
    D3DXMatrixMultiply(&lhs, &lhs, &b);
    ExpectMatrixNear(lhs, ab);
    D3DXMATRIX rhs = b;
    D3DXMatrixMultiply(&rhs, &a, &rhs);
    ExpectMatrixNear(rhs, ab);
    D3DXMATRIX both = a;
    D3DXMatrixMultiply(&both, &both, &both);
    ExpectMatrixNear(both, a * a);
    ExpectMatrixNear(both, D3DXMATRIX(1, 4, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 6, 6, 0, 1));
    D3DXMATRIX acc = a;
    acc *= b;
    ExpectMatrixNear(acc, ab);
}

TEST(D3DXMatrixInverse, KnownInverses) {
    struct Case {
        const char* name;
        D3DXMATRIX m;
        float det;
        D3DXMATRIX inverse;
    };
    const float k = 1.0f / 119;
    const Case cases[] = {
        {"identity", Identity(), 1, Identity()},
        {"translation", D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 2, -3, 4, 1), 1,
         D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -2, 3, -4, 1)},
        {"scaling", D3DXMATRIX(2, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1), 4,
         D3DXMATRIX(0.5f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1)},
        // Needs every element of the general 4x4 inverse, including the last column.
        {"dense", D3DXMATRIX(1, 2, 0, 0, 0, 1, 3, 0, 0, 0, 1, 4, 5, 0, 0, 1), -119,
         D3DXMATRIX(-1 * k, 2 * k, -6 * k, 24 * k, 60 * k, -1 * k, 3 * k, -12 * k, -20 * k, 40 * k, -1 * k, 4 * k,
                    5 * k, -10 * k, 30 * k, -1 * k)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        D3DXMATRIX out;
        float det = 0;
        ASSERT_EQ(D3DXMatrixInverse(&out, &det, &c.m), &out);
        EXPECT_NEAR(det, c.det, 1e-4f);
        ExpectMatrixNear(out, c.inverse);
        ExpectMatrixNear(c.m * out, Identity());
        ExpectMatrixNear(out * c.m, Identity());
    }
}

TEST(D3DXMatrixInverse, RigidTransformRoundTrips) {
    D3DXMATRIX rot, trans, m, inv;
    D3DXMatrixRotationYawPitchRoll(&rot, 0.3f, -1.1f, 2.0f);
    D3DXMatrixTranslation(&trans, 10, -20, 5);
    m = rot * trans;
    ASSERT_NE(D3DXMatrixInverse(&inv, nullptr, &m), nullptr);
    ExpectMatrixNear(m * inv, Identity());
    D3DXMATRIX self = m;
    ASSERT_EQ(D3DXMatrixInverse(&self, nullptr, &self), &self);
    ExpectMatrixNear(self, inv);
}

TEST(D3DXMatrixInverse, SingularReturnsNullAndLeavesOutput) {
    const D3DXMATRIX singular[] = {
        D3DXMATRIX(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
        D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1),  // zero scale on z
        D3DXMATRIX(1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 0, 0, 0, 1, 0),  // row 2 = 2 * row 1
        D3DXMATRIX(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16),
    };
    for (const D3DXMATRIX& m : singular) {
        D3DXMATRIX out = Identity();
        float det = 99;
        EXPECT_EQ(D3DXMatrixInverse(&out, &det, &m), nullptr);
        EXPECT_EQ(det, 0.0f);
        ExpectMatrixNear(out, Identity(), 0);
    }
}

TEST(D3DXMatrixBuilders, TranslationScalingTranspose) {
    D3DXMATRIX m;
    ExpectMatrixNear(*D3DXMatrixTranslation(&m, 1, 2, 3), D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1));
    ExpectMatrixNear(*D3DXMatrixScaling(&m, 2, 3, 4), D3DXMATRIX(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1));
    D3DXMATRIX t(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    D3DXMatrixTranspose(&t, &t);
    ExpectMatrixNear(t, D3DXMATRIX(1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 4, 8, 12, 16));
}

// Left-handed: a positive angle turns clockwise looking down the axis at the origin.
TEST(D3DXMatrixRotation, QuarterTurnsOfUnitAxes) {
    struct Case {
        const char* name;
        D3DXMATRIX* (*fn)(D3DXMATRIX*, float);
        D3DXVECTOR3 in, out;
    };
    const Case cases[] = {
        {"X: y to z", D3DXMatrixRotationX, {0, 1, 0}, {0, 0, 1}},
        {"X: z to -y", D3DXMatrixRotationX, {0, 0, 1}, {0, -1, 0}},
        {"Y: z to x", D3DXMatrixRotationY, {0, 0, 1}, {1, 0, 0}},
        {"Y: x to -z", D3DXMatrixRotationY, {1, 0, 0}, {0, 0, -1}},
        {"Z: x to y", D3DXMatrixRotationZ, {1, 0, 0}, {0, 1, 0}},
        {"Z: y to -x", D3DXMatrixRotationZ, {0, 1, 0}, {-1, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        D3DXMATRIX m;
        c.fn(&m, kHalfPi);
        ExpectVec3Near(Apply(c.in, m), c.out);
    }
    D3DXMATRIX rx;
    D3DXMatrixRotationX(&rx, 0.5f);
    const float s = std::sin(0.5f), co = std::cos(0.5f);
    ExpectMatrixNear(rx, D3DXMATRIX(1, 0, 0, 0, 0, co, s, 0, 0, -s, co, 0, 0, 0, 0, 1));
}

// The vector is rolled first, then pitched, then yawed.
TEST(D3DXMatrixRotationYawPitchRoll, AppliesRollPitchYawInOrder) {
    struct Case {
        const char* name;
        float yaw, pitch, roll;
        D3DXVECTOR3 in, out;
    };
    const Case cases[] = {
        {"yaw only", kHalfPi, 0, 0, {0, 0, 1}, {1, 0, 0}},
        {"pitch only", 0, kHalfPi, 0, {0, 1, 0}, {0, 0, 1}},
        {"roll only", 0, 0, kHalfPi, {1, 0, 0}, {0, 1, 0}},
        // Pitch lifts y onto z, then yaw turns z onto x (yaw first would leave y on z).
        {"pitch then yaw", kHalfPi, kHalfPi, 0, {0, 1, 0}, {1, 0, 0}},
        {"pitch then yaw, x", kHalfPi, kHalfPi, 0, {1, 0, 0}, {0, 0, -1}},
        // Roll turns x onto y, then pitch lifts it onto z (pitch first would end on y).
        {"roll then pitch", 0, kHalfPi, kHalfPi, {1, 0, 0}, {0, 0, 1}},
        // x -> y (roll) -> z (pitch) -> x (yaw).
        {"all three", kHalfPi, kHalfPi, kHalfPi, {1, 0, 0}, {1, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        D3DXMATRIX m;
        EXPECT_EQ(D3DXMatrixRotationYawPitchRoll(&m, c.yaw, c.pitch, c.roll), &m);
        ExpectVec3Near(Apply(c.in, m), c.out);
    }
}

TEST(D3DXMatrixRotationYawPitchRoll, EqualsRollTimesPitchTimesYaw) {
    const float angles[][3] = {{0.3f, -0.7f, 1.9f}, {-2.5f, 0.1f, 0.4f}, {1.0f, 1.0f, -1.0f}};
    for (const auto& a : angles) {
        D3DXMATRIX ypr, ry, rx, rz;
        D3DXMatrixRotationYawPitchRoll(&ypr, a[0], a[1], a[2]);
        D3DXMatrixRotationY(&ry, a[0]);
        D3DXMatrixRotationX(&rx, a[1]);
        D3DXMatrixRotationZ(&rz, a[2]);
        ExpectMatrixNear(ypr, rz * rx * ry);
    }
}

TEST(D3DXMatrixLookAtLH, BuildsViewFromEyeAtUp) {
    struct Case {
        const char* name;
        D3DXVECTOR3 eye, at, up;
        D3DXMATRIX view;
    };
    const Case cases[] = {
        {"down +z from behind",
         {0, 0, -5},
         {0, 0, 0},
         {0, 1, 0},
         D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1)},
        // Neither the view direction nor up needs to be unit length or orthogonal.
        {"skewed long up",
         {0, 0, 0},
         {0, 0, 10},
         {0, 5, 1},
         D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1)},
        // x axis = up x forward = (0,0,-1), y axis = forward x x axis = (0,1,0).
        {"down +x from (2,3,4)",
         {2, 3, 4},
         {3, 3, 4},
         {0, 1, 0},
         D3DXMATRIX(0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 4, -3, -2, 1)},
        {"down -y, up +z",
         {1, 2, 3},
         {1, -8, 3},
         {0, 0, 1},
         D3DXMATRIX(1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, -1, -3, 2, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        D3DXMATRIX m;
        EXPECT_EQ(D3DXMatrixLookAtLH(&m, &c.eye, &c.at, &c.up), &m);
        ExpectMatrixNear(m, c.view);
        // The eye goes to the origin and the target onto +z.
        ExpectVec3Near(Apply(c.eye, m), {0, 0, 0});
        const D3DXVECTOR3 target = Apply(c.at, m);
        EXPECT_NEAR(target.x, 0, kTol);
        EXPECT_NEAR(target.y, 0, kTol);
        EXPECT_GT(target.z, 0);
    }
}

TEST(D3DXMatrixPerspectiveFovLH, BuildsProjection) {
    struct Case {
        float fovy, aspect, zn, zf;
        D3DXMATRIX proj;
    };
    const float sqrt3 = 1.7320508f;
    const Case cases[] = {
        {kHalfPi, 2, 1, 101, D3DXMATRIX(0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1.01f, 1, 0, 0, -1.01f, 0)},
        {D3DX_PI / 3, 1, 0.5f, 1000,
         D3DXMATRIX(sqrt3, 0, 0, 0, 0, sqrt3, 0, 0, 0, 0, 1000 / 999.5f, 1, 0, 0, -500 / 999.5f, 0)},
        {D3DXToRadian(120), 4.0f / 3, 2, 4,
         D3DXMATRIX(0.75f / sqrt3, 0, 0, 0, 0, 1 / sqrt3, 0, 0, 0, 0, 2, 1, 0, 0, -4, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fovy);
        D3DXMATRIX m;
        EXPECT_EQ(D3DXMatrixPerspectiveFovLH(&m, c.fovy, c.aspect, c.zn, c.zf), &m);
        ExpectMatrixNear(m, c.proj);
        // Near plane maps to depth 0, far plane to depth 1.
        EXPECT_NEAR(Apply({0, 0, c.zn}, m).z, 0, kTol);
        EXPECT_NEAR(Apply({0, 0, c.zf}, m).z, 1, kTol);
    }
}

TEST(D3DXMatrixOrthoOffCenterLH, BuildsProjection) {
    struct Case {
        float l, r, b, t, zn, zf;
        D3DXMATRIX proj;
    };
    const Case cases[] = {
        // Screen-style: y grows downwards.
        {0, 640, 480, 0, 0, 1, D3DXMATRIX(2 / 640.0f, 0, 0, 0, 0, -2 / 480.0f, 0, 0, 0, 0, 1, 0, -1, 1, 0, 1)},
        {-2, 6, -1, 3, 2, 10, D3DXMATRIX(0.25f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0.125f, 0, -0.5f, -0.5f, -0.25f, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.r);
        D3DXMATRIX m;
        EXPECT_EQ(D3DXMatrixOrthoOffCenterLH(&m, c.l, c.r, c.b, c.t, c.zn, c.zf), &m);
        ExpectMatrixNear(m, c.proj);
        ExpectVec3Near(Apply({c.l, c.b, c.zn}, m), {-1, -1, 0});
        ExpectVec3Near(Apply({c.r, c.t, c.zf}, m), {1, 1, 1});
    }
}

TEST(D3DXMatrixReflect, MirrorsThroughNormalisedPlane) {
    struct Case {
        const char* name;
        D3DXPLANE plane;
        D3DXMATRIX m;
        D3DXVECTOR3 in, out;
    };
    const Case cases[] = {
        {"y = 0", {0, 1, 0, 0}, D3DXMATRIX(1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1), {1, 2, 3}, {1, -2, 3}},
        // 2y - 4 = 0 is y = 2 once normalised.
        {"y = 2 unnormalised",
         {0, 2, 0, -4},
         D3DXMATRIX(1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 4, 0, 1),
         {5, 3, -1},
         {5, 1, -1}},
        {"x + y = 0",
         {1, 1, 0, 0},
         D3DXMATRIX(0, -1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1),
         {1, 0, 0},
         {0, -1, 0}},
        {"z = -1 facing -z",
         {0, 0, -3, -3},
         D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, -2, 1),
         {0, 0, 0},
         {0, 0, -2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        D3DXMATRIX m;
        EXPECT_EQ(D3DXMatrixReflect(&m, &c.plane), &m);
        ExpectMatrixNear(m, c.m);
        ExpectVec3Near(Apply(c.in, m), c.out);
    }
}

TEST(D3DXVecTransform, PointsNormalsAndHomogeneous) {
    // A translation plus a projective column, so w differs from 1.
    const D3DXMATRIX m(2, 0, 0, 1, 0, 3, 0, 0, 0, 0, 4, 0, 10, 20, 30, 1);
    const D3DXVECTOR3 v(1, 2, 3);

    D3DXVECTOR4 v4;
    EXPECT_EQ(D3DXVec3Transform(&v4, &v, &m), &v4);
    ExpectVec4Near(v4, {12, 26, 42, 2});

    D3DXVECTOR3 coord;
    EXPECT_EQ(D3DXVec3TransformCoord(&coord, &v, &m), &coord);
    ExpectVec3Near(coord, {6, 13, 21});

    D3DXVECTOR3 normal;
    EXPECT_EQ(D3DXVec3TransformNormal(&normal, &v, &m), &normal);
    ExpectVec3Near(normal, {2, 6, 12});

    const D3DXVECTOR4 h(1, 2, 3, 0.5f);
    D3DXVECTOR4 h4;
    EXPECT_EQ(D3DXVec4Transform(&h4, &h, &m), &h4);
    ExpectVec4Near(h4, {7, 16, 27, 1.5f});

    // In place.
    D3DXVECTOR3 inplace = v;
    D3DXVec3TransformCoord(&inplace, &inplace, &m);
    ExpectVec3Near(inplace, {6, 13, 21});
    D3DXVECTOR4 inplace4 = h;
    D3DXVec4Transform(&inplace4, &inplace4, &m);
    ExpectVec4Near(inplace4, {7, 16, 27, 1.5f});
}

TEST(D3DXVec3, DotCrossLength) {
    const D3DXVECTOR3 a(1, 2, 3), b(4, -5, 6);
    EXPECT_FLOAT_EQ(D3DXVec3Dot(&a, &b), 12);
    D3DXVECTOR3 c;
    EXPECT_EQ(D3DXVec3Cross(&c, &a, &b), &c);
    ExpectVec3Near(c, {27, 6, -13});
    const D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0);
    ExpectVec3Near(*D3DXVec3Cross(&c, &x, &y), {0, 0, 1});
    D3DXVECTOR3 alias = a;
    D3DXVec3Cross(&alias, &alias, &b);
    ExpectVec3Near(alias, {27, 6, -13});
    const D3DXVECTOR3 l(2, 3, 6);
    EXPECT_FLOAT_EQ(D3DXVec3Length(&l), 7);
    EXPECT_FLOAT_EQ(D3DXVec3LengthSq(&l), 49);
}

TEST(D3DXVec3Normalize, UnitLengthAndZeroStaysZero) {
    struct Case {
        D3DXVECTOR3 in, out;
    };
    const Case cases[] = {
        {{3, 0, 4}, {0.6f, 0, 0.8f}},
        {{0, -5, 0}, {0, -1, 0}},
        {{2, 3, 6}, {2 / 7.0f, 3 / 7.0f, 6 / 7.0f}},
        {{0, 0, 0}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        D3DXVECTOR3 out;
        EXPECT_EQ(D3DXVec3Normalize(&out, &c.in), &out);
        ExpectVec3Near(out, c.out);
        EXPECT_FALSE(std::isnan(out.x));
    }
}

TEST(D3DXPlane, NormaliseAndDistances) {
    D3DXPLANE p;
    const D3DXPLANE raw(0, 0, 2, 4);
    EXPECT_EQ(D3DXPlaneNormalize(&p, &raw), &p);
    EXPECT_EQ(p, D3DXPLANE(0, 0, 1, 2));
    const D3DXPLANE degenerate(0, 0, 0, 5);
    D3DXPlaneNormalize(&p, &degenerate);
    EXPECT_EQ(p, D3DXPLANE(0, 0, 0, 0));

    const D3DXPLANE plane(0, 1, 0, -2);  // y = 2
    const D3DXVECTOR3 v(7, 5, -1);
    EXPECT_FLOAT_EQ(D3DXPlaneDotCoord(&plane, &v), 3);
    EXPECT_FLOAT_EQ(D3DXPlaneDotNormal(&plane, &v), 5);
}

TEST(D3DXToRadian, ConvertsDegrees) {
    EXPECT_FLOAT_EQ(D3DXToRadian(180), D3DX_PI);
    EXPECT_FLOAT_EQ(D3DXToRadian(90), D3DX_PI / 2);
    EXPECT_FLOAT_EQ(D3DXToRadian(-45), -D3DX_PI / 4);
}

}  // namespace
