#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

// A fixed-size window over the newest text lines. Slots not in use hold empty text; once every slot
// is in use, each new line drops the oldest one and the others move up one slot.
class TZEMStringBufferBase {
public:
    explicit TZEMStringBufferBase(std::uint32_t capacity);
    virtual ~TZEMStringBufferBase() = default;

    // Stores the line and returns the slot it went into.
    std::uint32_t Add(const QString &text);
    // Replaces the newest line (adds it when there is none) and returns its slot.
    std::uint32_t ReplaceLast(const QString &text);
    void Clear();

    std::uint32_t Count() const { return count_; }
    std::uint32_t Capacity() const { return static_cast<std::uint32_t>(lines_.size()); }
    // Slot i; an index outside the capacity reads as empty text.
    QString Line(std::uint32_t index) const;

private:
    QStringList lines_;
    std::uint32_t count_ = 0;
};

// The server-log strip's buffer: the newest fifty lines.
class TZEMStringBuffer : public TZEMStringBufferBase {
public:
    static constexpr std::uint32_t kCapacity = 50;
    TZEMStringBuffer() : TZEMStringBufferBase(kCapacity) {}
};
