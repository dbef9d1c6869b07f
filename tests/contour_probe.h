// A contour that exposes its protected caches to the tests.
#ifndef QEL_TESTS_CONTOUR_PROBE_H
#define QEL_TESTS_CONTOUR_PROBE_H

#include <memory>
#include <string>

#include "cntr/contour.h"

struct Probe : krContour {
    using krContour::krContour;
    using krContour::boxesValid;
    using krContour::circleValid;
    using krContour::cleanCacheInfo;
    using krContour::convexHullValid;
    using krContour::ellipseValid;
    using krContour::extremalCache;
    using krContour::ExtremalCache;
    using krContour::length_;
    using krContour::lengthValid;
    using krContour::lineSegsValid;
    using krContour::linesValid;
    using krContour::makeDataConsistentWithPoints;
    using krContour::makePointsConsistentWithData;
    using krContour::meanPositionValid;
    using krContour::medianFeatureSizeValid;
    using krContour::points_;
    using krContour::rectCache;
    using krContour::RectCache;
    using krContour::selfIntersectingValid;
    using krContour::setPoints;
    using krContour::vertexGrids;

    // Fills the caches that have queries and marks the rest valid by hand.
    void fillCaches() {
        length();
        meanPosition();
        vertexIndex(krVector<2>(0, 0), 1.0);
        convexHullValid = ellipseValid = selfIntersectingValid = lineSegsValid = true;
        linesValid = boxesValid = medianFeatureSizeValid = true;
        circleValid.assign(2, true);
        rectCache = std::make_unique<RectCache>();
        rectCache->insert(krXform<2>::I, krRect(krVector<2>(1, 2), krVector<2>(3, 4)), 3);
        extremalCache = std::make_unique<ExtremalCache>();
        extremalCache->insert(0.5, 1, 3);
    }

    // The caches that are valid or allocated, by name.
    std::string valid() const {
        std::string s;
        auto add = [&s](bool on, const char* name) {
            if (on) s += s.empty() ? name : std::string(" ") + name;
        };
        add(lengthValid, "length");
        add(meanPositionValid, "mean");
        add(convexHullValid, "hull");
        add(circleValid.size() == 2 && circleValid[0], "circle0");
        add(circleValid.size() == 2 && circleValid[1], "circle1");
        add(ellipseValid, "ellipse");
        add(selfIntersectingValid, "selfx");
        add(lineSegsValid, "segs");
        add(linesValid, "lines");
        add(boxesValid, "boxes");
        add(medianFeatureSizeValid, "median");
        add(rectCache != nullptr, "rects");
        add(extremalCache != nullptr, "extremes");
        add(vertexGrids != nullptr, "grids");
        return s;
    }
    static constexpr const char* kAll =
        "length mean hull circle0 circle1 ellipse selfx segs lines boxes median rects extremes grids";
};

#endif
