#pragma once
// Check-only: the kqueue interface the parent watch uses, as <sys/event.h> of
// the macOS 14.2 SDK declares it.

#include <stdint.h>
#include <time.h>

#define EVFILT_READ (-1)
#define EV_ADD 0x0001
#define EV_CLEAR 0x0020
#define EV_EOF 0x8000

// 32 bytes on LP64, at the same offsets as unpacked.
#pragma pack(4)
struct kevent {
  uintptr_t ident;
  int16_t filter;
  uint16_t flags;
  uint32_t fflags;
  intptr_t data;
  void* udata;
};
#pragma pack()

#ifdef __cplusplus
extern "C" {
#endif
int kqueue(void);
int kevent(int kq, const struct kevent* changelist, int nchanges, struct kevent* eventlist,
           int nevents, const struct timespec* timeout);
#ifdef __cplusplus
}
#endif
