#include "zem_stringbuffer.h"

TZEMStringBufferBase::TZEMStringBufferBase(std::uint32_t capacity)
{
    lines_.resize(static_cast<qsizetype>(capacity));
}

std::uint32_t TZEMStringBufferBase::Add(const QString &text)
{
    const auto capacity = Capacity();
    if (capacity == 0)
        return 0; // nothing can be held; the caller's index 0 is then out of range
    if (count_ < capacity) {
        lines_[count_] = text;
        return count_++;
    }
    lines_.removeFirst();
    lines_.append(text);
    return capacity - 1;
}

std::uint32_t TZEMStringBufferBase::ReplaceLast(const QString &text)
{
    if (count_ == 0)
        return Add(text);
    lines_[count_ - 1] = text;
    return count_ - 1;
}

void TZEMStringBufferBase::Clear()
{
    count_ = 0;
    for (auto &line : lines_)
        line.clear();
}

QString TZEMStringBufferBase::Line(std::uint32_t index) const
{
    return index < Capacity() ? lines_[index] : QString();
}
