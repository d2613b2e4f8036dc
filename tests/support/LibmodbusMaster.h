#pragma once

// A Modbus RTU master on libmodbus for tests that talk to the device simulator through an
// independent stack. Header only: it is compiled in the tests, which link libmodbus.

#include <QString>
#include <cerrno>
#include <cstdint>
#include <modbus.h>
#include <optional>
#include <vector>

namespace zorvan::test {

class LibmodbusMaster {
public:
    LibmodbusMaster(const QString& path, int slave = 1, int timeoutMs = 500) {
        m_ctx = modbus_new_rtu(path.toLocal8Bit().constData(), 9600, 'N', 8, 1);
        if (m_ctx == nullptr) {
            return;
        }
        modbus_set_slave(m_ctx, slave);
        setTimeout(timeoutMs);
        m_connected = modbus_connect(m_ctx) == 0;
        if (m_connected) {
            modbus_flush(m_ctx);
        }
    }
    ~LibmodbusMaster() {
        if (m_ctx != nullptr) {
            if (m_connected) {
                modbus_close(m_ctx);
            }
            modbus_free(m_ctx);
        }
    }
    LibmodbusMaster(const LibmodbusMaster&) = delete;
    LibmodbusMaster& operator=(const LibmodbusMaster&) = delete;

    bool connected() const { return m_connected; }
    modbus_t* context() const { return m_ctx; }
    int fd() const { return modbus_get_socket(m_ctx); }
    // errno of the last failed call (EMBXILADD, ETIMEDOUT, EMBBADCRC, ...).
    int lastError() const { return m_lastError; }

    void setSlave(int slave) { modbus_set_slave(m_ctx, slave); }
    void setTimeout(int ms) {
        modbus_set_response_timeout(m_ctx, std::uint32_t(ms / 1000),
                                    std::uint32_t(ms % 1000) * 1000);
    }
    void flush() { modbus_flush(m_ctx); }

    std::optional<std::vector<std::uint16_t>> read(int address, int count) {
        std::vector<std::uint16_t> values(static_cast<std::size_t>(count));
        if (modbus_read_registers(m_ctx, address, count, values.data()) != count) {
            m_lastError = errno;
            return std::nullopt;
        }
        return values;
    }
    std::optional<std::uint16_t> read1(int address) {
        const auto values = read(address, 1);
        return values ? std::optional<std::uint16_t>(values->front()) : std::nullopt;
    }
    // Function 16, as the host writes even a single register.
    bool write(int address, const std::vector<std::uint16_t>& values) {
        if (modbus_write_registers(m_ctx, address, int(values.size()), values.data()) !=
            int(values.size())) {
            m_lastError = errno;
            return false;
        }
        return true;
    }
    bool write1(int address, std::uint16_t value) { return write(address, {value}); }

private:
    modbus_t* m_ctx = nullptr;
    bool m_connected = false;
    int m_lastError = 0;
};

} // namespace zorvan::test
