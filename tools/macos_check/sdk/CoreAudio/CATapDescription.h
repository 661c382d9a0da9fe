#pragma once
// Check-only: <CoreAudio/CATapDescription.h> of the macOS 14.2 SDK, as far as
// the helper uses it. The whole header is inside #ifdef __OBJC__: plain C++
// sees neither the class nor CATapMuteBehavior. The class is macOS 12.0+, the
// enumeration 13.0+; both are usable only through
// AudioHardwareCreateProcessTap (14.2+). Every initialiser but -init is
// NS_REFINED_FOR_SWIFT.

#ifdef __OBJC__
#import <Foundation/Foundation.h>

// NS_ENUM(NSInteger, CATapMuteBehavior): a distinct enumeration type in C++.
typedef enum CATapMuteBehavior : NSInteger CATapMuteBehavior;
enum CATapMuteBehavior : NSInteger {
  CATapUnmuted = 0,
  CATapMuted = 1,
  CATapMutedWhenTapped = 2,
};

@interface CATapDescription : NSObject
- (instancetype)init;
- (instancetype)initStereoMixdownOfProcesses:(NSArray<NSNumber*>*)processesObjectIDsToIncludeInTap;
- (instancetype)initStereoGlobalTapButExcludeProcesses:
    (NSArray<NSNumber*>*)processesObjectIDsToExcludeFromTap;
- (instancetype)initMonoMixdownOfProcesses:(NSArray<NSNumber*>*)processesObjectIDsToIncludeInTap;
- (instancetype)initMonoGlobalTapButExcludeProcesses:
    (NSArray<NSNumber*>*)processesObjectIDsToExcludeFromTap;
- (instancetype)initWithProcesses:(NSArray<NSNumber*>*)processesObjectIDsToIncludeInTap
                     andDeviceUID:(NSString*)deviceUID
                       withStream:(NSInteger)stream;
// Not here: -initExcludingProcesses:andDeviceUID:withStream:, first declared
// in the 14.5 SDK (no availability mark of its own) and absent from the 14.2
// runtime, where sending it is an unrecognised selector.

@property(atomic, copy) NSString* name;
@property(atomic, copy) NSUUID* UUID;
// Process object IDs (not PIDs): tapped, or with exclusive YES left out.
@property(atomic, copy, readwrite) NSArray<NSNumber*>* processes;
@property(atomic, readwrite, getter=isMono) BOOL mono;
@property(atomic, readwrite, getter=isExclusive) BOOL exclusive;
@property(atomic, readwrite, getter=isMixdown) BOOL mixdown;
// The message is setPrivate:, not setPrivateTap:.
@property(atomic, readwrite, getter=isPrivate, setter=setPrivate:) BOOL privateTap;
@property(atomic, readwrite, getter=isMuted) CATapMuteBehavior muteBehavior;
@property(atomic, copy, nullable) NSString* deviceUID;
@property(atomic, copy, nullable) NSNumber* stream;
@end
#endif
