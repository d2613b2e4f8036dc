#include "ModbusPtySlave.h"

#include <modbus/modbus.h> // the support library itself is built without libmodbus flags
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace zorvan::test {

ModbusPtySlave::ModbusPtySlave(int slaveAddress) {
    char name[128] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    termios t{};
    ::tcgetattr(m_slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(m_slave, TCSANOW, &t);
    m_map = modbus_mapping_new(0, 0, 0x10000, 0);
    m_ctx = modbus_new_rtu(name, 9600, 'N', 8, 1);
    if (m_map == nullptr || m_ctx == nullptr)
        return;
    for (int k = 0; k < 0x10000; ++k)
        m_map->tab_registers[k] = std::uint16_t(k);
    modbus_set_slave(m_ctx, slaveAddress);
    modbus_set_socket(m_ctx, m_master);
    // Wake up now and then to notice stop().
    modbus_set_indication_timeout(m_ctx, 0, 50000);
}

ModbusPtySlave::~ModbusPtySlave() {
    stop();
    if (m_ctx != nullptr)
        modbus_free(m_ctx); // the descriptor is ours, not the context's
    if (m_map != nullptr)
        modbus_mapping_free(m_map);
    for (int fd : {m_master, m_slave})
        if (fd >= 0)
            ::close(fd);
}

std::uint16_t& ModbusPtySlave::at(int address) const {
    return m_map->tab_registers[address & 0xFFFF];
}

void ModbusPtySlave::start() {
    if (!isValid() || m_thread.joinable())
        return;
    m_stop = false;
    m_thread = std::thread([this] { run(); });
}

void ModbusPtySlave::stop() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void ModbusPtySlave::run() {
    std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!m_stop) {
        const int n = modbus_receive(m_ctx, query);
        if (n > 0)
            modbus_reply(m_ctx, query, n, m_map);
    }
}

} // namespace zorvan::test
