// Load and save of large channel maps through the document serializer: the file a user opens
// and saves. Each figure is the median of several rounds; a save includes the temporary file,
// fsync and rename. Figures are CPU time of the process (the work is single-threaded), which a
// busy shared machine disturbs far less than wall-clock time; wall-clock medians follow.
//
// Usage: bench_document [rounds]

#include "components/XMLOptionsSerializer.h"
#include "document/CnlImage.h"
#include "document/Document.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace zorvan;

namespace {

struct Times {
    double load = 0;
    double save = 0;
    double total() const { return load + save; }
};

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// CPU time and wall-clock time of one call.
template <typename F> std::pair<double, double> timed(F&& f) {
    QElapsedTimer wall;
    wall.start();
    const double cpu = cpuMs();
    f();
    return {cpuMs() - cpu, wall.nsecsElapsed() / 1e6};
}

void fill(TChannelImage& image, int channels) {
    image.Clear();
    for (int i = 0; i < channels; ++i) {
        TChannelItem* c = image.Map()->Add();
        c->Channel = i % 300;
        c->ParamType = i % 5;
        c->TagIndex = i % 64;
        c->TagName = QStringLiteral("TAG%1").arg(i % 1000, 4, 10, QLatin1Char('0'));
        c->Note = i % 3 == 0 ? QString() : QStringLiteral("Датчик %1").arg(i);
    }
    image.Options = 5;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::pair<Times, Times> measure(int channels, int rounds, const QString& path) {
    TChannelImage image;
    fill(image, channels);
    TXMLOptionsSerializer s;
    ConfigureDocumentSerializer(s);
    s.Root = &image;
    s.XMLFilePath = path;
    std::vector<double> loads, saves, wallLoads, wallSaves;
    for (int r = 0; r < rounds; ++r) {
        const auto save = timed([&] {
            if (!s.Save())
                std::fprintf(stderr, "save failed: %s\n", qPrintable(s.LastSaveError()));
        });
        const auto load = timed([&] {
            if (!s.Load())
                std::fprintf(stderr, "load failed: %s\n", qPrintable(s.LastReadError().Describe()));
        });
        if (image.Map()->Count() != channels)
            std::fprintf(stderr, "read back %d channels of %d\n", image.Map()->Count(), channels);
        saves.push_back(save.first);
        wallSaves.push_back(save.second);
        loads.push_back(load.first);
        wallLoads.push_back(load.second);
    }
    return {{median(loads), median(saves)}, {median(wallLoads), median(wallSaves)}};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.zorvan"));

    measure(1000, 2, path); // warm-up
    const auto [small, smallWall] = measure(10000, rounds, path);
    const auto [large, largeWall] = measure(100000, std::max(1, rounds / 2), path);

    const double goal = 200.0;
    std::printf("| document load+save, 10,000 channels (CPU) | %.1f ms | %.0f ms (goal) | %.2f | "
                "< 200 ms |\n",
                small.total(), goal, small.total() / goal);
    std::printf("| document load, 10,000 channels (CPU) | %.1f ms | %.1f ms (load+save) | %.2f | "
                "part of the above |\n",
                small.load, small.total(), small.load / small.total());
    std::printf("| document save, 10,000 channels (CPU) | %.1f ms | %.1f ms (load+save) | %.2f | "
                "part of the above |\n",
                small.save, small.total(), small.save / small.total());
    std::printf("| document load+save, 100,000 channels (CPU) | %.1f ms | %.1f ms (10 x the 10,000 "
                "figure) | %.2f | <= 1.2 (at most 12 x 10,000) |\n",
                large.total(), 10 * small.total(), large.total() / (10 * small.total()));
    std::printf("| document load+save, 10,000 channels (wall clock) | %.1f ms | %.0f ms (goal) | "
                "%.2f | < 200 ms |\n",
                smallWall.total(), goal, smallWall.total() / goal);
    std::printf("| document load+save, 100,000 channels (wall clock) | %.1f ms | %.1f ms (10 x the "
                "10,000 figure) | %.2f | <= 1.2 |\n",
                largeWall.total(), 10 * smallWall.total(),
                largeWall.total() / (10 * smallWall.total()));
    return 0;
}
