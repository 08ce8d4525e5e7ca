// Speed of the matrix product, the point transform and the inverse.
#include "kite/foundation/math/AffineTransform.h"
#include "kite/foundation/math/Mat4.h"
#include "kite/foundation/math/Quaternion.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

kite::Mat4 nodeMatrix(float angle) {
    kite::Mat4 t, r;
    kite::Mat4::createTranslation(100.0f, 50.0f, 0.0f, &t);
    kite::Mat4::createRotation(kite::Quaternion(kite::Vec3::UNIT_Z, angle), &r);
    kite::Mat4 m = t * r;
    m.scale(2.0f, 0.5f, 1.0f);
    return m;
}

void Mat4Multiply(benchmark::State& state) {
    const kite::Mat4 a = nodeMatrix(0.3f), b = nodeMatrix(1.1f);
    kite::Mat4 dst;
    for (auto _ : state) {
        kite::Mat4::multiply(a, b, &dst);
        benchmark::DoNotOptimize(dst);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Mat4Multiply);

void Mat4MultiplyInPlace(benchmark::State& state) {
    const kite::Mat4 b = nodeMatrix(1.1f);
    kite::Mat4 a = nodeMatrix(0.3f);
    for (auto _ : state) {
        a.multiply(b);
        benchmark::DoNotOptimize(a);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Mat4MultiplyInPlace);

// As the renderer stages quads: every vertex position through the model-view matrix.
void Mat4TransformPoints(benchmark::State& state) {
    const kite::Mat4 m = nodeMatrix(0.7f);
    std::vector<kite::Vec3> points(static_cast<size_t>(state.range(0)));
    for (size_t i = 0; i < points.size(); ++i) points[i].set(float(i), float(i % 7), 0.0f);
    for (auto _ : state) {
        for (kite::Vec3& p : points) m.transformPoint(&p);
        benchmark::DoNotOptimize(points.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Mat4TransformPoints)->Arg(4)->Arg(4096);

void Mat4TransformVec4(benchmark::State& state) {
    const kite::Mat4 m = nodeMatrix(0.7f);
    kite::Vec4 v(1.0f, 2.0f, 0.0f, 1.0f);
    for (auto _ : state) {
        m.transformVector(&v);
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(Mat4TransformVec4);

void Mat4Inverse(benchmark::State& state) {
    const kite::Mat4 m = nodeMatrix(0.7f);
    for (auto _ : state) {
        kite::Mat4 inv = m.getInversed();
        benchmark::DoNotOptimize(inv);
    }
}
BENCHMARK(Mat4Inverse);

void AffinePointApply(benchmark::State& state) {
    const kite::AffineTransform t = kite::AffineTransformRotate(kite::AffineTransformMake(2, 0, 0, 2, 10, 20), 0.5f);
    kite::Vec2 p(3.0f, 4.0f);
    for (auto _ : state) {
        p = kite::PointApplyAffineTransform(p, t);
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(AffinePointApply);

}  // namespace
