#include "python/src/RecordRouter.h"

#include <cstddef>

namespace comlux_python {

RecordRouter::RecordRouter() {
    for (std::size_t i = 0; i < mSlots.size(); ++i) {
        mSlots[i].router = this;
        mSlots[i].kind = comlux::kStreamKinds[i].kind;
    }
}

void RecordRouter::RegisterWith(comlux::ComluxClient& client) {
    for (std::size_t i = 0; i < mSlots.size(); ++i) {
        comlux::SetCallback(client, mSlots[i].kind, &OnRecord, &mSlots[i]);
    }
}

bool RecordRouter::Attach(const std::vector<comlux::StreamKind>& kinds, std::shared_ptr<StreamBuffer> buffer,
                          comlux::StreamKind& busyKind) {
    std::lock_guard whole(mAttachLock);
    for (const comlux::StreamKind kind : kinds) {
        Slot& slot = mSlots[static_cast<std::size_t>(kind)];
        std::lock_guard lock(slot.lock);
        if (slot.buffer && slot.buffer != buffer) {
            busyKind = kind;
            return false;
        }
    }
    for (const comlux::StreamKind kind : kinds) {
        Slot& slot = mSlots[static_cast<std::size_t>(kind)];
        std::lock_guard lock(slot.lock);
        slot.buffer = buffer;
    }
    return true;
}

void RecordRouter::Detach(const StreamBuffer& buffer) {
    std::lock_guard whole(mAttachLock);
    for (Slot& slot : mSlots) {
        std::lock_guard lock(slot.lock);
        if (slot.buffer.get() == &buffer) slot.buffer.reset();
    }
}

void RecordRouter::OnRecord(void* context, const unsigned char* record, int count, std::string objectName) {
    auto* slot = static_cast<Slot*>(context);
    std::lock_guard lock(slot->lock);
    if (!slot->buffer) return;
    const auto size = static_cast<std::size_t>(comlux::InfoOf(slot->kind).recordSize);
    for (int i = 0; i < count; ++i) slot->buffer->Add(slot->kind, record + i * size, objectName);
}

}  // namespace comlux_python
