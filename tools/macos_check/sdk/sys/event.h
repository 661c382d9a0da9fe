// Check-only declarations (never shipped; a Mac uses the SDK's own): the kqueue
// interface the parent watch uses, transcribed from the kqueue(2) manual page,
// https://developer.apple.com/library/archive/documentation/System/Conceptual/ManPages_iPhoneOS/man2/kqueue.2.html
// The constant values are the BSD ones (unverified against the macOS SDK).
#pragma once

#include <stdint.h>
#include <time.h>

struct kevent {
  uintptr_t ident;
  int16_t filter;
  uint16_t flags;
  uint32_t fflags;
  intptr_t data;
  void* udata;
};

#define EVFILT_WRITE (-2)
#define EV_ADD 0x0001
#define EV_CLEAR 0x0020
#define EV_EOF 0x8000
#define NOTE_LOWAT 0x00000001

#define EV_SET(kevp, a, b, c, d, e, f) \
  do {                                 \
    struct kevent* kev_ = (kevp);      \
    kev_->ident = (a);                 \
    kev_->filter = (b);                \
    kev_->flags = (c);                 \
    kev_->fflags = (d);                \
    kev_->data = (e);                  \
    kev_->udata = (f);                 \
  } while (0)

#ifdef __cplusplus
extern "C" {
#endif
int kqueue(void);
int kevent(int kq, const struct kevent* changelist, int nchanges, struct kevent* eventlist,
           int nevents, const struct timespec* timeout);
#ifdef __cplusplus
}
#endif
