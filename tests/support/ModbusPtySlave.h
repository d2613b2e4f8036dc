#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <thread>

typedef struct _modbus modbus_t;
typedef struct _modbus_mapping_t modbus_mapping_t;

namespace zorvan::test {

// An independent Modbus RTU slave: libmodbus serving holding registers 0..65535 on the master
// side of a pseudo-terminal, on a thread of its own. The code under test opens slavePath().
// Register k holds k until set otherwise.
class ModbusPtySlave {
public:
    explicit ModbusPtySlave(int slaveAddress = 1);
    ~ModbusPtySlave();
    ModbusPtySlave(const ModbusPtySlave&) = delete;
    ModbusPtySlave& operator=(const ModbusPtySlave&) = delete;

    bool isValid() const { return m_ctx != nullptr && m_map != nullptr; }
    QString slavePath() const { return m_slavePath; }

    // Before start() (the server thread reads the registers without a lock).
    void setRegister(int address, std::uint16_t value) { at(address) = value; }
    std::uint16_t registerValue(int address) const { return at(address); }

    void start();
    void stop();

private:
    void run();
    std::uint16_t& at(int address) const;

    int m_master = -1;
    int m_slave = -1; // held open for the server's life: without it the master side sees EIO
    QString m_slavePath;
    modbus_t* m_ctx = nullptr;
    modbus_mapping_t* m_map = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

} // namespace zorvan::test
