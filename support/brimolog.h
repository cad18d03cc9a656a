#pragma once

#include <QString>

#include <initializer_list>

// The eight message options of the event log; each option's keyword in "cil.cnf" is its own
// identifier.
enum TWriteOption : unsigned char {
    woUser,
    woCommon,
    woMouse,
    woData,
    woComm,
    woCustom1,
    woCustom2,
    woCustom3
};

// A set of TWriteOption in one byte: bit n set means option n is included.
class TWriteOptions {
public:
    constexpr TWriteOptions() = default;
    constexpr TWriteOptions(std::initializer_list<TWriteOption> options) {
        for (TWriteOption option : options)
            FBits |= Bit(option);
    }

    static constexpr TWriteOptions All() { return FromBits(0xFF); }
    static constexpr TWriteOptions FromBits(unsigned char bits) {
        TWriteOptions result;
        result.FBits = bits;
        return result;
    }

    constexpr unsigned char Bits() const { return FBits; }
    constexpr bool IsEmpty() const { return FBits == 0; }
    constexpr bool Contains(TWriteOption option) const { return (FBits & Bit(option)) != 0; }
    constexpr bool Intersects(TWriteOptions other) const { return (FBits & other.FBits) != 0; }

    constexpr TWriteOptions &operator+=(TWriteOption option) {
        FBits |= Bit(option);
        return *this;
    }
    friend constexpr bool operator==(TWriteOptions, TWriteOptions) = default;

private:
    static constexpr unsigned char Bit(TWriteOption option) {
        return static_cast<unsigned char>(1u << option);
    }

    unsigned char FBits = 0;
};

// Keyword of one option in "cil.cnf"; the reader walks the table in this order.
struct TWriteOptionsInitRec {
    const char *Name;
    TWriteOption Option;
};

extern const TWriteOptionsInitRec WriteOptionsInit[8];

// The main program's diagnostic log: one time-stamped line per event, appended to FileName.
// The log is on only when the configuration file existed at construction; the file is opened
// and closed for every line, and a line that cannot be written is lost without a report.
class TBrimoLog {
public:
    // Reads the configuration from "cil.cnf" in the program folder.
    explicit TBrimoLog(const QString &fileName);
    TBrimoLog(const QString &fileName, const QString &configFileName);
    ~TBrimoLog();

    TBrimoLog(const TBrimoLog &) = delete;
    TBrimoLog &operator=(const TBrimoLog &) = delete;

    void WriteLine(const QString &message);
    // Writes the message when its options and the configured ones have one in common.
    void WriteLineIf(TWriteOptions options, const QString &message);

    const QString &FileName() const { return FFileName; }
    const QString &ConfigFileName() const { return FConfigFileName; }
    bool Enabled() const { return FEnabled; }
    TWriteOptions Options() const { return FOptions; }

    static const QString EndMarker;

private:
    void ReadConfig();

    QString FFileName;
    QString FConfigFileName;
    bool FEnabled = false;
    TWriteOptions FOptions;
};
