// Cost of refreshing the editor's Map list from a large map.
//
// Builds a document of 10,000 channels of every value type, places the editor view in a shown
// 1100 x 600 window and times:
//  - UpdateView: the Options selection and the whole Map list again from the document (the
//    goal: under 100 ms);
//  - UpdateView followed by an immediate repaint of the list, as the user sees it;
//  - appending one channel, as Add does, against the whole refresh: adding a row must not
//    rebuild the list.
// Each figure is the median of several runs, in CPU time of the thread so that other load on
// the shared machine counts less.
//
// The append is also timed on a map of a hundredth of the size: its cost must not grow with
// the list.
//
// Usage: bench_editor [channels] [runs]

#include "components/ui/ReportListView.h"
#include "document/CnlImage.h"
#include "document/Document.h"
#include "editor/ui/ChannelMapModel.h"
#include "editor/ui/CnlListVisor.h"

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

template <typename F> double medianMs(int runs, F&& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double start = threadCpuMs();
        work();
        times.push_back(threadCpuMs() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::string ms(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f ms", value);
    return text;
}

void row(const std::string& name, const std::string& ours, const std::string& anchor, double ratio,
         const char* goal) {
    std::printf("| %s | %s | %s | %.3f× | %s |\n", name.c_str(), ours.c_str(), anchor.c_str(),
                ratio, goal);
}

struct Figures {
    double update = 0;      // UpdateView, the call
    double updateShown = 0; // UpdateView with the list's layout and paint
    double append = 0;      // one row appended, the call
    double appendShown = 0; // with the list's layout and paint
};

Figures measure(int channels, int runs) {
    zorvan::TDm dm;
    zorvan::TChannelList& map = *dm.Image()->Map();
    for (int i = 0; i < channels; ++i) {
        zorvan::TChannelItem* item = map.Add();
        item->Channel = i;
        item->ParamType = i % 6; // every type, and one without registers
        item->TagIndex = i;
        item->TagName = QStringLiteral("Tag%1").arg(i);
        item->Note = QStringLiteral("note %1").arg(i);
    }
    dm.Image()->Options = 5;

    zorvan::TCnlListVisorView view;
    view.resize(1100, 600);
    view.show();
    QWidget* const listRows =
        view.findChild<zorvan::TReportListView*>(QStringLiteral("LV"))->viewport();
    QApplication::processEvents();
    view.UpdateView();
    QApplication::processEvents();

    Figures f;
    // The call alone; then with the work Qt defers to the event loop (the list's layout and
    // its painting), which is what the user waits for.
    f.update = medianMs(runs, [&] { view.UpdateView(); });
    f.updateShown = medianMs(runs, [&] {
        view.UpdateView();
        listRows->repaint();
        QApplication::processEvents();
    });
    // Add's path: one channel appended to the document, one row to the list (the channel is
    // removed again, untimed, so that each run starts from the same map).
    const auto timeAppend = [&](bool shown) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            zorvan::TChannelItem* item = map.Add();
            item->Clear();
            const double start = threadCpuMs();
            view.MapModel()->AppendRow();
            if (shown) {
                listRows->repaint();
                QApplication::processEvents();
            }
            times.push_back(threadCpuMs() - start);
            const int last = view.MapModel()->rowCount() - 1;
            map.Delete(map.Count() - 1);
            view.MapModel()->RemoveRows({last});
            QApplication::processEvents();
        }
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    };
    f.append = timeAppend(false);
    f.appendShown = timeAppend(true);
    return f;
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") &&
        !std::getenv("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int channels = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 21;

    const Figures small = measure(std::max(1, channels / 100), runs);
    const Figures f = measure(channels, runs);

    const std::string n = std::to_string(channels);
    const std::string m = std::to_string(std::max(1, channels / 100));
    row("editor UpdateView, " + n + " channels", ms(f.update), "goal 100 ms", f.update / 100.0,
        "< 100 ms");
    row("editor UpdateView shown (layout + paint), " + n + " channels", ms(f.updateShown),
        "goal 100 ms", f.updateShown / 100.0, "< 100 ms");
    // Adding one row costs the same whatever the list's length: no rebuild.
    row("editor append one row, " + n + " vs " + m + " channels", ms(f.append),
        ms(small.append) + " at " + m, small.append > 0 ? f.append / small.append : 0.0,
        "about 1× (no rebuild)");
    row("editor append one row shown, " + n + " channels", ms(f.appendShown), "goal 100 ms",
        f.appendShown / 100.0, "< 100 ms");
    return 0;
}
