#include "ModbusPtySlave.h"

#include <modbus/modbus.h> // the support library itself is built without libmodbus flags

namespace zorvan::test {

ModbusPtySlave::ModbusPtySlave(int slaveAddress) {
    if (!PtyPeer::isValid())
        return;
    m_map = modbus_mapping_new(0, 0, 0x10000, 0);
    m_ctx = modbus_new_rtu(slavePath().toLocal8Bit().constData(), 9600, 'N', 8, 1);
    if (!isValid())
        return;
    for (int k = 0; k < 0x10000; ++k)
        m_map->tab_registers[k] = std::uint16_t(k);
    modbus_set_slave(m_ctx, slaveAddress);
    modbus_set_socket(m_ctx, master());
    modbus_set_indication_timeout(m_ctx, 0, 50000); // wakes up now and then to notice a stop
}

ModbusPtySlave::~ModbusPtySlave() {
    stop();
    if (m_ctx != nullptr)
        modbus_free(m_ctx); // the descriptor is the peer's, not the context's
    if (m_map != nullptr)
        modbus_mapping_free(m_map);
}

std::uint16_t& ModbusPtySlave::at(int address) const {
    return m_map->tab_registers[address & 0xFFFF];
}

void ModbusPtySlave::start() {
    if (!isValid())
        return;
    addStep([this] {
        std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stopped())
            if (const int n = modbus_receive(m_ctx, query); n > 0)
                modbus_reply(m_ctx, query, n, m_map);
    });
    PtyPeer::start();
}

} // namespace zorvan::test
