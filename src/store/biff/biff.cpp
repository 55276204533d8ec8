#include "store/biff/biff.h"

#include <cstring>

#include <sys/mman.h>

namespace store::biff {

void adviseLargeBuffer(void *data, qsizetype size)
{
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    if (size < qsizetype(2 * kHuge))
        return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + uintptr_t(size)) & ~(kHuge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), size_t(end - begin), MADV_HUGEPAGE);
}

QByteArray largeBuffer(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    adviseLargeBuffer(bytes.data(), size);
    return bytes;
}

void Out::regrow(qsizetype capacity)
{
    QByteArray bigger = largeBuffer(capacity);
    if (m_size > 0)
        std::memcpy(bigger.data(), m_data, size_t(m_size));
    m_bytes = std::move(bigger);
    m_data = reinterpret_cast<uint8_t *>(m_bytes.data());
    m_capacity = capacity;
}

} // namespace store::biff
