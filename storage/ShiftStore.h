// The shift's figures kept across a crash, a power cut or an unplugged
// cable: every counted item is stored before the window shows it, and the
// program starts with what was stored.
//
// A store that cannot write (a missing or read-only folder, a full disk, a
// damaged database) says so once through TakeFailure and goes on holding the
// figures in memory only: counting never stops for the store's sake.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace storage {

constexpr std::size_t SHIFT_LINES = 8;
// Where the program keeps the shift; the folder is never created.
constexpr std::string_view SHIFT_DATABASE_PATH = "c:\\velsor\\estadisticas.db";

// The running figures: items and kilograms per line and in total.
struct ShiftFigures {
    std::array<std::uint32_t, SHIFT_LINES> lineCounts{};
    std::uint32_t totalCount = 0;
    std::array<double, SHIFT_LINES> lineKilograms{};
    double totalKilograms = 0.0;

    bool operator==(const ShiftFigures&) const = default;
    bool IsZero() const { return *this == ShiftFigures{}; }
};

// One counted item as it was weighed and counted.
struct CountedItem {
    int line = 0;  // 1 to 8
    std::uint8_t weightCounts = 0;
    float calibrationFactor = 0.0f;
    double kilograms = 0.0;
};

class ShiftStore {
public:
    ShiftStore() = default;
    ShiftStore(const ShiftStore&) = delete;
    ShiftStore& operator=(const ShiftStore&) = delete;
    virtual ~ShiftStore() = default;

    // The figures as they stand: those stored when the store opened, then as
    // recorded since.
    [[nodiscard]] virtual const ShiftFigures& Figures() const = 0;
    // The item and the figures it led to, both stored or neither; stored
    // when this returns, unless a failure is then waiting.
    virtual void Record(const CountedItem& item, const ShiftFigures& after) = 0;
    // Every figure to zero, and the shift's items forgotten.
    virtual void Reset() = 0;
    // True while what is recorded outlives the program (a database in use).
    [[nodiscard]] virtual bool Durable() const = 0;
    // The message of a failure not yet taken (plain Spanish, ready for the
    // operator), then nothing until a new failure: empty when none.
    [[nodiscard]] virtual std::string TakeFailure() = 0;
};

// Figures held in memory only: for tests, and for a program whose database
// cannot be used, with the message saying why (empty for none) and the
// figures it could still read.
class MemoryShiftStore final : public ShiftStore {
public:
    explicit MemoryShiftStore(std::string failure = {}, const ShiftFigures& figures = {})
        : figures_(figures), failure_(std::move(failure)) {}

    const ShiftFigures& Figures() const override { return figures_; }
    void Record(const CountedItem&, const ShiftFigures& after) override { figures_ = after; }
    void Reset() override { figures_ = {}; }
    bool Durable() const override { return false; }
    std::string TakeFailure() override { return std::exchange(failure_, {}); }

private:
    ShiftFigures figures_;
    std::string failure_;
};

// "No se pueden guardar las estadísticas en <path>: <cause>. Se siguen
// contando en memoria."
std::string ShiftStoreFailure(std::string_view path, std::string_view cause);

// The SQLite store of the database at `path` (a program path, mapped with
// MapPath), or, when it cannot be used, a memory store whose failure says
// why. `vfs` names the SQLite file layer (null: the system's own).
std::unique_ptr<ShiftStore> OpenShiftStore(std::string_view path, const char* vfs = nullptr);

}  // namespace storage
