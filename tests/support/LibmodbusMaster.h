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
        ctx_ = modbus_new_rtu(path.toLocal8Bit().constData(), 9600, 'N', 8, 1);
        if (ctx_ == nullptr) {
            return;
        }
        modbus_set_slave(ctx_, slave);
        setTimeout(timeoutMs);
        connected_ = modbus_connect(ctx_) == 0;
        if (connected_) {
            modbus_flush(ctx_);
        }
    }
    ~LibmodbusMaster() {
        if (ctx_ != nullptr) {
            if (connected_) {
                modbus_close(ctx_);
            }
            modbus_free(ctx_);
        }
    }
    LibmodbusMaster(const LibmodbusMaster&) = delete;
    LibmodbusMaster& operator=(const LibmodbusMaster&) = delete;

    bool connected() const { return connected_; }
    modbus_t* context() const { return ctx_; }
    int fd() const { return modbus_get_socket(ctx_); }
    // errno of the last failed call (EMBXILADD, ETIMEDOUT, EMBBADCRC, ...).
    int lastError() const { return lastError_; }

    void setSlave(int slave) { modbus_set_slave(ctx_, slave); }
    void setTimeout(int ms) {
        modbus_set_response_timeout(ctx_, std::uint32_t(ms / 1000),
                                    std::uint32_t(ms % 1000) * 1000);
    }
    void flush() { modbus_flush(ctx_); }

    std::optional<std::vector<std::uint16_t>> read(int address, int count) {
        std::vector<std::uint16_t> values(static_cast<std::size_t>(count));
        if (modbus_read_registers(ctx_, address, count, values.data()) != count) {
            lastError_ = errno;
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
        if (modbus_write_registers(ctx_, address, int(values.size()), values.data()) !=
            int(values.size())) {
            lastError_ = errno;
            return false;
        }
        return true;
    }
    bool write1(int address, std::uint16_t value) { return write(address, {value}); }

private:
    modbus_t* ctx_ = nullptr;
    bool connected_ = false;
    int lastError_ = 0;
};

} // namespace zorvan::test
