#pragma once

#include "comm/ModbusParameter.h"
#include "comm/ModbusSpace.h"
#include "comm/ModbusTransport.h"
#include "comm/SerialPortDriver.h"

#include <QString>
#include <QtGlobal>

namespace zorvan {

class TOptions;

// The codes the host writes to the Action register.
enum class MapAction : quint16 {
    Begin = 1,  // a map upload begins
    Clear = 2,  // the current map is emptied
    Append = 3, // the tag at TagIndex is appended to the current map
    End = 4,    // the upload ends
};

// The codes the device shows in the Error register; any other value is no error.
enum class MapError : quint16 {
    IncorrectTag = 1, // the addressed tag is not in the catalogue (or past its end)
    MapFull = 2,      // the current map has no room for another entry
};

// The device connection module: the one serial port and transport of the program and the
// device's map-control registers as typed parameters in three register spaces.
//
//   ZorvanSpace     12288..12301  BaseAddress TagIndex Action Error ZorvanOptions(2) Channel
//                                 TagType Name1234(2) Name5678(2) Name9ABC(2)
//   ZorvanSpaceAdd  12302..12303  prmCurrMapTagCount prmCurrMapTagIndex
//   Space1          8..9          SaveToFlash(2), write-only, written as a whole block
//
// Every value is big-endian on the wire (mbo3210). The device-side spaces write parameter by
// parameter, only what is marked Modified, and read their whole block back.
class TModbusMapConn {
public:
    // Builds the components with their design-time values, then runs DataModuleCreate. The
    // options are read by every ApplyOptions and must outlive the module.
    explicit TModbusMapConn(const TOptions& options);
    ~TModbusMapConn();
    TModbusMapConn(const TModbusMapConn&) = delete;
    TModbusMapConn& operator=(const TModbusMapConn&) = delete;

    // First registers of the three spaces.
    static constexpr quint16 ZorvanSpaceBase = 12288;
    static constexpr quint16 ZorvanSpaceAddBase = 12302;
    static constexpr quint16 Space1Base = 8;

    // Members are destroyed bottom up: parameters, spaces, transport, port.
    TSerialPortDriver PortDrv;
    TCOMPortTransport Transport;
    TModbusSpace ZorvanSpace;
    TModbusSpace ZorvanSpaceAdd;
    TModbusSpace Space1;

    TModbusParameter BaseAddress;
    TModbusParameter TagIndex;
    TModbusParameter Action;
    TModbusParameter Error;
    TModbusParameter ZorvanOptions;
    TModbusParameter Channel;
    TModbusParameter TagType;
    TModbusParameter Name1234;
    TModbusParameter Name5678;
    TModbusParameter Name9ABC;
    TModbusParameter prmCurrMapTagCount;
    TModbusParameter prmCurrMapTagIndex;
    TModbusParameter SaveToFlash;

    // ApplyOptions, then polling suspended once for good: all received bytes are left to the
    // synchronous reads of the transport.
    void DataModuleCreate();
    // Port, rate, reply time-out and the device address of ZorvanSpace and ZorvanSpaceAdd from
    // the options. Space1 keeps its address: its users copy ZorvanSpace's in first. A new port
    // number is ignored while the port is open.
    void ApplyOptions();

    bool OpenLink();
    void CloseLink();

    // Has the device store its settings in flash: SaveToFlash := 1, flush Space1 (its whole
    // block), then SaveToFlash := 0 in the image only. True when the request went through.
    // The reply is waited for at least FlashWriteMs.
    bool StoreToFlash();
    static constexpr quint32 FlashWriteMs = 1000;

    // Action := code in the image, marked modified: the next flush of ZorvanSpace sends it.
    void setAction(MapAction code);
    // Whether the Error register, as last read, holds code.
    bool HasError(MapError code) const;

    // The 12 characters of the addressed tag's name from the three name registers, zero
    // characters included.
    QString CurrentTagName() const;

private:
    const TOptions& m_options;
};

// Four characters from a 32-bit value, most significant byte first; every byte becomes one
// character through Windows-1251, a zero byte included.
QString DWordToText(quint32 value);

// The program-wide module: the first one created, until it is destroyed; null otherwise.
TModbusMapConn* ModbusMapConn();

} // namespace zorvan
