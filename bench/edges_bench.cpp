// Subpixel edges of a 2048 x 2048 8-bit image of 60 blurred discs, one
// thread, beside OpenCV's Gaussian blur, Canny and contour tracing (pixel
// edges only) in the same process, where OpenCV is installed.
#include <benchmark/benchmark.h>

#include <random>

#include "platform/ip/edges.h"
#include "tests/platform/greyscene.h"

#ifdef QEL_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

const krGreyImage& discs() {
    static const krGreyImage image = [] {
        constexpr int size = 2048;
        std::mt19937_64 gen(2048);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        greyscene::Scene scene(size, size, 50);
        // Sixty discs in a grid of 8 x 8 cells of 256 pixels, radii 8 to 60.
        for (int i = 0; i < 60; ++i) {
            const double r = 8 + 52 * unit(gen);
            const double slack = 128 - r - 4;
            scene.addEllipse({(i % 8 + 0.5) * 256 + slack * (2 * unit(gen) - 1),
                              (i / 8 + 0.5) * 256 + slack * (2 * unit(gen) - 1), r, r, 0.0},
                             150);
        }
        scene.blur(1.0);
        return scene.image(krPixelType::eU8);
    }();
    return image;
}

void edges(benchmark::State& state) {
    kr_EdgeParams params;
    params.threads = static_cast<int>(state.range(0));
    std::size_t points = 0;
    for (auto _ : state) {
        const std::vector<kr_EdgeChain> chains = kfFindEdges(discs().view(), params);
        points = 0;
        for (const kr_EdgeChain& c : chains) points += c.points.size();
        benchmark::DoNotOptimize(points);
    }
    state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(edges)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef QEL_HAVE_OPENCV
void opencvBlurCannyContours(benchmark::State& state) {
    cv::setNumThreads(1);
    const krGreyImage& image = discs();
    const cv::Mat in(image.height(), image.width(), CV_8UC1,
                     const_cast<void*>(image.view().data()), static_cast<std::size_t>(image.view().stride()));
    cv::Mat blurred, edges;
    std::size_t points = 0;
    for (auto _ : state) {
        cv::GaussianBlur(in, blurred, cv::Size(0, 0), 1.0);
        cv::Canny(blurred, edges, 20, 60);
        std::vector<std::vector<cv::Point>> contours;
        cv::findContours(edges, contours, cv::RETR_LIST, cv::CHAIN_APPROX_NONE);
        points = 0;
        for (const auto& c : contours) points += c.size();
        benchmark::DoNotOptimize(points);
    }
    state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(opencvBlurCannyContours)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

}  // namespace
