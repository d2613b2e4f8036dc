#pragma once

#include "PtyPeer.h"

#include <cstdint>

typedef struct _modbus modbus_t;
typedef struct _modbus_mapping_t modbus_mapping_t;

namespace zorvan::test {

// An independent Modbus RTU slave: libmodbus serving holding registers 0..65535 on the master
// side of a pseudo-terminal, on a thread of its own. The code under test opens slavePath().
// Register k holds k until set otherwise.
class ModbusPtySlave : private PtyPeer {
public:
    explicit ModbusPtySlave(int slaveAddress = 1);
    ~ModbusPtySlave();

    bool isValid() const { return m_ctx != nullptr && m_map != nullptr; }
    using PtyPeer::slavePath;
    using PtyPeer::stop;

    // Before start() (the server thread reads the registers without a lock).
    void setRegister(int address, std::uint16_t value) { at(address) = value; }
    std::uint16_t registerValue(int address) const { return at(address); }

    void start();

private:
    std::uint16_t& at(int address) const;

    modbus_t* m_ctx = nullptr;
    modbus_mapping_t* m_map = nullptr;
};

} // namespace zorvan::test
