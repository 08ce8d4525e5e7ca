#include "kite/scene/DistanceMap.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kite {

namespace {

constexpr double kFar = 1000000.0;

struct Field {
    int w = 0, h = 0;
    std::vector<double> img, gx, gy;
};

// Sobel-like gradient over the pixels that lie on an edge (strictly between empty and full).
void computeGradient(Field& f) {
    const double s = 1.4142136;
    const int w = f.w;
    std::fill(f.gx.begin(), f.gx.end(), 0.0);
    std::fill(f.gy.begin(), f.gy.end(), 0.0);
    for (int i = 1; i < f.h - 1; ++i) {
        for (int j = 1; j < w - 1; ++j) {
            const int k = i * w + j;
            const double* img = f.img.data();
            if (!(img[k] > 0.0 && img[k] < 1.0)) continue;
            double gx =
                -img[k - w - 1] - s * img[k - 1] - img[k + w - 1] + img[k - w + 1] + s * img[k + 1] + img[k + w + 1];
            double gy =
                -img[k - w - 1] - s * img[k - w] - img[k + w - 1] + img[k - w + 1] + s * img[k + w] + img[k + w + 1];
            const double length = gx * gx + gy * gy;
            if (length > 0.0) {
                const double root = std::sqrt(length);
                gx /= root;
                gy /= root;
            }
            f.gx[k] = gx;
            f.gy[k] = gy;
        }
    }
}

// Distance from a pixel's centre to the edge through it, from its coverage and the edge direction.
double edgeDistance(double gx, double gy, double a) {
    if (gx == 0.0 || gy == 0.0) return 0.5 - a;
    const double length = std::sqrt(gx * gx + gy * gy);
    gx = std::fabs(gx / length);
    gy = std::fabs(gy / length);
    if (gx < gy) std::swap(gx, gy);
    const double a1 = 0.5 * gy / gx;
    if (a < a1) return 0.5 * (gx + gy) - std::sqrt(2.0 * gx * gy * a);
    if (a < 1.0 - a1) return (0.5 - a) * gx;
    return -0.5 * (gx + gy) + std::sqrt(2.0 * gx * gy * (1.0 - a));
}

double edgePixelDistance(const Field& f, int c, int xc, int yc, int xi, int yi) {
    const int closest = c - xc - yc * f.w;
    const double a = std::clamp(f.img[static_cast<std::size_t>(closest)], 0.0, 1.0);
    if (a == 0.0) return kFar;
    const double di = std::sqrt(static_cast<double>(xi * xi + yi * yi));
    const double df =
        di == 0.0 ? edgeDistance(f.gx[static_cast<std::size_t>(closest)], f.gy[static_cast<std::size_t>(closest)], a)
                  : edgeDistance(xi, yi, a);
    return di + df;
}

// Anti-aliased Euclidean distance transform: sweeps that carry each pixel's nearest edge pixel to
// its neighbours until nothing improves.
class DistanceTransform {
public:
    DistanceTransform(const Field& f, std::vector<double>& dist)
        : f_(f), dist_(dist), distx_(dist.size(), 0), disty_(dist.size(), 0) {}

    void run() {
        for (std::size_t k = 0; k < dist_.size(); ++k) {
            const double v = f_.img[k];
            dist_[k] = v <= 0.0 ? kFar : v < 1.0 ? edgeDistance(f_.gx[k], f_.gy[k], v) : 0.0;
        }
        bool changed = true;
        while (changed) {
            changed = false;
            for (int y = 0; y < f_.h; ++y) changed |= sweepRow(y, 1);
            for (int y = f_.h - 1; y >= 0; --y) changed |= sweepRow(y, -1);
        }
    }

private:
    // Tries the offset of neighbour n extended by (dx, dy) for pixel (x, y).
    bool tryNeighbour(int x, int y, int nx, int ny) {
        if (nx < 0 || ny < 0 || nx >= f_.w || ny >= f_.h) return false;
        const int c = y * f_.w + x;
        const int n = ny * f_.w + nx;
        const int cdistx = distx_[static_cast<std::size_t>(n)];
        const int cdisty = disty_[static_cast<std::size_t>(n)];
        const int newdistx = cdistx + (x - nx);
        const int newdisty = cdisty + (y - ny);
        const double newdist = edgePixelDistance(f_, n, cdistx, cdisty, newdistx, newdisty);
        double& current = dist_[static_cast<std::size_t>(c)];
        if (newdist >= current - 0.001) return false;
        distx_[static_cast<std::size_t>(c)] = static_cast<short>(newdistx);
        disty_[static_cast<std::size_t>(c)] = static_cast<short>(newdisty);
        current = newdist;
        return true;
    }

    // One row: forward (dir 1) looks left, up-left, up and up-right, then right to left at the right;
    // backward (dir -1) is the mirror image.
    bool sweepRow(int y, int dir) {
        bool changed = false;
        const int first = dir > 0 ? 0 : f_.w - 1;
        const int last = dir > 0 ? f_.w : -1;
        for (int x = first; x != last; x += dir) {
            if (dist_[static_cast<std::size_t>(y * f_.w + x)] <= 0.0) continue;
            changed |= tryNeighbour(x, y, x - dir, y);
            changed |= tryNeighbour(x, y, x - dir, y - dir);
            changed |= tryNeighbour(x, y, x, y - dir);
            changed |= tryNeighbour(x, y, x + dir, y - dir);
        }
        for (int x = last - dir; x != first - dir; x -= dir) {
            if (dist_[static_cast<std::size_t>(y * f_.w + x)] <= 0.0) continue;
            changed |= tryNeighbour(x, y, x + dir, y);
        }
        return changed;
    }

    const Field& f_;
    std::vector<double>& dist_;
    std::vector<short> distx_, disty_;
};

std::vector<double> distances(Field& f) {
    computeGradient(f);
    std::vector<double> dist(f.img.size(), 0.0);
    DistanceTransform(f, dist).run();
    for (double& d : dist) d = std::max(d, 0.0);
    return dist;
}

}  // namespace

std::unique_ptr<unsigned char[]> makeDistanceMap(const unsigned char* coverage, int width, int height) {
    Field f;
    f.w = width + 2 * kDistanceMapSpread;
    f.h = height + 2 * kDistanceMapSpread;
    const auto n = static_cast<std::size_t>(f.w) * static_cast<std::size_t>(f.h);
    f.img.assign(n, 0.0);
    f.gx.assign(n, 0.0);
    f.gy.assign(n, 0.0);
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i)
            f.img[static_cast<std::size_t>(j * f.w + kDistanceMapSpread + i)] = coverage[j * width + i] / 255.0;

    const std::vector<double> outside = distances(f);
    for (double& v : f.img) v = 1.0 - v;
    const std::vector<double> inside = distances(f);

    auto out = std::make_unique<unsigned char[]>(n);
    for (std::size_t k = 0; k < n; ++k) {
        const double value = std::clamp(128.0 - 16.0 * (outside[k] - inside[k]), 0.0, 255.0);
        out[k] = static_cast<unsigned char>(value);
    }
    return out;
}

}  // namespace kite
