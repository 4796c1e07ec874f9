// The device's request queues: RequestQueue (one of the four), and the
// output queue with the list of its pending requests in queue order, which
// the sender takes from. Not synchronised: each is used under its owner's
// mutex (see trvlib_device.h).
#pragma once

#include <vector>

#include "trvlib_reportlist.h"
#include "trvlib_request.h"

namespace trv {

// One of the device's four request queues: a linking CReportList that also
// marks its members, so that a request can be unlinked (or found not to be
// there) without walking the whole list. Not synchronised: used under the
// queue's own mutex.
class RequestQueue {
public:
    enum Id { Out = 0, In = 1, Async = 2, Sales = 3 };
    explicit RequestQueue(int id) : id_(id) {}
    ~RequestQueue() { EraseAll(); }
    bool Add(TRV_Request* r) { return link(r, false); }
    bool Push(TRV_Request* r) { return link(r, true); }
    bool Contains(const TRV_Request* r) const { return Holds(r, id_); }
    // Whether r is in queue `id`, read without that queue's lock: only the
    // holder of the lock changes it, so a false read stays false for a
    // request nobody else is queueing.
    static bool Holds(const TRV_Request* r, int id) { return r->queued[id].load(std::memory_order_relaxed); }
    void Erase(TRV_Request* r) {
        if (!Contains(r)) return;
        list_.Erase(r);
        r->queued[id_].store(false, std::memory_order_relaxed);
    }
    int Count() const { return list_.Count(); }
    TRV_Request* operator[](int i) { return list_[i]; }
    TRV_Request* First() { return list_.First(); }
    TRV_Request* Next() { return list_.Next(); }
    void EraseAll() {
        for (TRV_Request* r = list_.First(); r; r = list_.Next()) r->queued[id_].store(false, std::memory_order_relaxed);
        list_.EraseAll();
    }
    // Unlinks every member and ends it as a handle (see Tagged::kill).
    void KillAll() {
        std::vector<TRV_Request*> all;
        for (TRV_Request* r = list_.First(); r; r = list_.Next()) all.push_back(r);
        EraseAll();
        for (TRV_Request* r : all) r->kill();
    }

protected:
    CReportList<TRV_Request> list_;

private:
    bool link(TRV_Request* r, bool front) {
        const int before = list_.Count();
        if (front) list_.Push(r); else list_.Add(r);
        if (list_.Count() == before) return false;  // no memory for the node
        r->queued[id_].store(true, std::memory_order_relaxed);
        return true;
    }
    int id_;
};

// The pending requests of the output queue in queue order: the order in
// which the sender takes them. An intrusive list (the links live in the
// requests), so that taking the next request, adding one at either end and
// unlinking one cost the same however many requests are queued.
class PendingList {
public:
    TRV_Request* front() const { return head_; }
    bool empty() const { return head_ == nullptr; }
    void pushFront(TRV_Request* r) { insertAfter(nullptr, r); }
    void pushBack(TRV_Request* r) { insertAfter(tail_, r); }
    // after: a linked request, or null for the front.
    void insertAfter(TRV_Request* after, TRV_Request* r);
    void unlink(TRV_Request* r);
    void clear();

private:
    TRV_Request* head_ = nullptr;
    TRV_Request* tail_ = nullptr;
};

// The output queue, with its pending list beside it. Every request that
// enters the queue enters it pending: at the tail (a post) or at the head (a
// front command, a status poll, a stop, a retry), and the pending list
// follows. A request that is no longer pending is unlinked from the list
// when its new state is settled (sent, failed, finished, deleted); one the
// receive path moves on while it is still linked (an acknowledgement of an
// earlier copy) is dropped by the sender when it comes to it.
class OutputQueue : public RequestQueue {
public:
    OutputQueue() : RequestQueue(Out) {}
    bool Add(TRV_Request* r) {
        if (!RequestQueue::Add(r)) return false;
        pending.pushBack(r);
        return true;
    }
    bool Push(TRV_Request* r) {
        if (!RequestQueue::Push(r)) return false;
        pending.pushFront(r);
        return true;
    }
    void Erase(TRV_Request* r) {
        pending.unlink(r);
        RequestQueue::Erase(r);
    }
    void EraseAll() {
        pending.clear();
        RequestQueue::EraseAll();
    }
    void KillAll() {
        pending.clear();
        RequestQueue::KillAll();
    }
    // r, a member made pending again where it stands (a repeat), joins the
    // pending list at its place in queue order. Walks the queue up to r:
    // only for the rare moves that keep a request's place.
    void Relink(TRV_Request* r);

    PendingList pending;
};

}  // namespace trv
