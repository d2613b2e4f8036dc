// Modbus RTU master speed: the program's own stack (serial driver, transport, register space)
// against libmodbus's master, both reading 40 holding registers from the same libmodbus slave
// on a pseudo-terminal in the same run; and the CPU cost of waiting for a silent device.

#include "comm/ModbusParameter.h"
#include "comm/ModbusSpace.h"
#include "comm/ModbusTransport.h"
#include "comm/SerialPortDriver.h"

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <modbus.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace zorvan;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int Registers = 40;
constexpr int Rounds = 6;
constexpr int PerRound = 500;
constexpr int Warmup = 50;

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// libmodbus serving registers 0..65535 (register k holds k) on the master side of a pty.
class Slave {
public:
    Slave() {
        char name[128] = {};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            return;
        path = name;
        termios t{};
        tcgetattr(m_slave, &t);
        cfmakeraw(&t);
        tcsetattr(m_slave, TCSANOW, &t);
        m_map = modbus_mapping_new(0, 0, 0x10000, 0);
        for (int k = 0; k < 0x10000; ++k)
            m_map->tab_registers[k] = std::uint16_t(k);
        m_ctx = modbus_new_rtu(name, 9600, 'N', 8, 1);
        modbus_set_slave(m_ctx, 1);
        modbus_set_socket(m_ctx, m_master);
        modbus_set_indication_timeout(m_ctx, 0, 50000);
        m_thread = std::thread([this] {
            std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
            while (!m_stop) {
                const int n = modbus_receive(m_ctx, query);
                if (n > 0)
                    modbus_reply(m_ctx, query, n, m_map);
            }
        });
    }
    ~Slave() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        modbus_free(m_ctx);
        modbus_mapping_free(m_map);
        close(m_master);
        close(m_slave);
    }
    std::string path;

private:
    int m_master = -1;
    int m_slave = -1;
    modbus_t* m_ctx = nullptr;
    modbus_mapping_t* m_map = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

struct Sample {
    std::vector<double> roundTripUs;
    double cpuMs = 0;
    int count = 0;
    int failures = 0;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// One round of the program's stack: open, warm up, time PerRound reads, close.
void roundOurs(const std::string& path, Sample& s) {
    TSerialPortDriver port;
    port.setPortName(QString::fromStdString(path));
    port.setInputTimeout(500);
    port.SuspendPolling();
    TCOMPortTransport transport(&port);
    TModbusSpace space;
    space.setModbusTransport(&transport);
    space.setBaseAddress(1000);
    space.setRefreshIAC(true);
    std::vector<std::unique_ptr<TModbusParameter>> params;
    for (int i = 0; i < Registers; ++i) {
        params.push_back(std::make_unique<TModbusParameter>());
        params.back()->setIndex(quint16(i));
        params.back()->setModbusSpace(&space);
    }
    if (!port.OpenPort()) {
        s.failures += PerRound;
        return;
    }
    for (int i = 0; i < Warmup; ++i)
        space.RefreshWithRetries();
    const double cpu0 = threadCpuMs();
    for (int i = 0; i < PerRound; ++i) {
        const auto t0 = Clock::now();
        const bool ok = space.RefreshWithRetries();
        s.roundTripUs.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (!ok || params.back()->Data()->AsWord() != 1000 + Registers - 1)
            ++s.failures;
    }
    s.cpuMs += threadCpuMs() - cpu0;
    s.count += PerRound;
}

void roundLibmodbus(const std::string& path, Sample& s) {
    modbus_t* ctx = modbus_new_rtu(path.c_str(), 9600, 'N', 8, 1);
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, 0, 500000);
    if (modbus_connect(ctx) != 0) {
        modbus_free(ctx);
        s.failures += PerRound;
        return;
    }
    modbus_flush(ctx);
    std::uint16_t values[Registers];
    for (int i = 0; i < Warmup; ++i)
        modbus_read_registers(ctx, 1000, Registers, values);
    const double cpu0 = threadCpuMs();
    for (int i = 0; i < PerRound; ++i) {
        const auto t0 = Clock::now();
        const int n = modbus_read_registers(ctx, 1000, Registers, values);
        s.roundTripUs.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (n != Registers || values[Registers - 1] != 1000 + Registers - 1)
            ++s.failures;
    }
    s.cpuMs += threadCpuMs() - cpu0;
    s.count += PerRound;
    modbus_close(ctx);
    modbus_free(ctx);
}

// ReadBytes waiting 2 s for a peer that never answers.
std::pair<double, double> silentWait() {
    int master = -1, slave = -1;
    char name[128] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return {-1, -1};
    TSerialPortDriver port;
    port.setPortName(QString::fromLocal8Bit(name));
    port.setInputTimeout(2000);
    port.SuspendPolling();
    double cpu = -1, elapsed = -1;
    if (port.OpenPort()) {
        char buffer[16];
        const double cpu0 = threadCpuMs();
        const auto t0 = Clock::now();
        port.ReadBytes(buffer, sizeof buffer);
        elapsed = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        cpu = threadCpuMs() - cpu0;
        port.ClosePort();
    }
    close(master);
    close(slave);
    return {cpu, elapsed};
}

void row(const char* name, const QString& ours, const QString& anchor, double ratio,
         const char* goal) {
    std::printf("| %s | %s | %s | %.2f | %s |\n", name, qPrintable(ours), qPrintable(anchor), ratio,
                goal);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Slave slave;
    if (slave.path.empty()) {
        std::fprintf(stderr, "bench_modbus: no pseudo-terminal\n");
        return 1;
    }
    Sample ours, theirs;
    // Alternate so that both see the same machine load.
    for (int r = 0; r < Rounds; ++r) {
        roundOurs(slave.path, ours);
        roundLibmodbus(slave.path, theirs);
    }
    if (ours.failures != 0 || theirs.failures != 0)
        std::fprintf(stderr, "bench_modbus: failed transactions: ours %d, libmodbus %d\n",
                     ours.failures, theirs.failures);
    const double oursMedian = median(ours.roundTripUs);
    const double theirMedian = median(theirs.roundTripUs);
    const double oursCpu = ours.cpuMs * 1000.0 / std::max(ours.count, 1);
    const double theirCpu = theirs.cpuMs * 1000.0 / std::max(theirs.count, 1);
    row("Modbus read of 40 registers, median round trip (pty, libmodbus slave)",
        QString("%1 µs").arg(oursMedian, 0, 'f', 1),
        QString("%1 µs (libmodbus master)").arg(theirMedian, 0, 'f', 1), oursMedian / theirMedian,
        "≤ 1.0");
    row("Modbus read of 40 registers, CPU per 1,000 transactions",
        QString("%1 ms").arg(oursCpu, 0, 'f', 1),
        QString("%1 ms (libmodbus master)").arg(theirCpu, 0, 'f', 1), oursCpu / theirCpu, "≤ 1.0");
    const auto [cpu, elapsed] = silentWait();
    row("ReadBytes waiting on a silent peer (2 s time-out), CPU",
        QString("%1 ms CPU in %2 ms").arg(cpu, 0, 'f', 2).arg(elapsed, 0, 'f', 0), "20 ms (goal)",
        cpu / 20.0, "< 20 ms");
    return ours.failures == 0 && theirs.failures == 0 ? 0 : 1;
}
