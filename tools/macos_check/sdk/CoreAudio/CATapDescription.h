#pragma once
// Check-only: the process-tap description (Objective-C, subclass of NSObject).
// https://developer.apple.com/documentation/coreaudio/catapdescription
// Class and properties macOS 12.0+ per the docs; usable with process taps from 14.2.

#ifdef __OBJC__
#import <Foundation/Foundation.h>

// https://developer.apple.com/documentation/coreaudio/catapmutebehavior (values from binding docs)
// NS_ENUM: a distinct enumeration type in C++.
typedef enum CATapMuteBehavior : NSInteger CATapMuteBehavior;
enum CATapMuteBehavior : NSInteger {
  CATapUnmuted = 0,
  CATapMuted = 1,
  CATapMutedWhenTapped = 2,
};

@interface CATapDescription : NSObject
- (instancetype)init;
// Selectors from the objc2-core-audio CATapDescription page.
- (instancetype)initStereoMixdownOfProcesses:(NSArray*)processesObjectIDsToIncludeInTap;
- (instancetype)initStereoGlobalTapButExcludeProcesses:(NSArray*)processesObjectIDsToExcludeFromTap;
// (unverified selectors)
- (instancetype)initMonoMixdownOfProcesses:(NSArray*)processesObjectIDsToIncludeInTap;
- (instancetype)initMonoGlobalTapButExcludeProcesses:(NSArray*)processesObjectIDsToExcludeFromTap;
- (instancetype)initWithProcesses:(NSArray*)processesObjectIDsToIncludeInTap
                     andDeviceUID:(NSString*)deviceUID
                       withStream:(NSInteger)stream;
- (instancetype)initExcludingProcesses:(NSArray*)processesObjectIDsToExcludeFromTap
                          andDeviceUID:(NSString*)deviceUID
                            withStream:(NSInteger)stream;

// .../catapdescription/processes-3cdzw, .../ismono, .../ismixdown, .../isexclusive,
// .../isprivate, .../mutebehavior, .../deviceuid, .../stream-u4ff, .../uuid
// (attributes unverified)
@property(atomic, copy) NSString* name;
@property(atomic, copy) NSArray* processes;
@property(atomic, getter=isMono) BOOL mono;
@property(atomic, getter=isMixdown) BOOL mixdown;
@property(atomic, getter=isExclusive) BOOL exclusive;
@property(atomic, getter=isPrivate) BOOL privateTap;
@property(atomic) CATapMuteBehavior muteBehavior;
@property(atomic, copy) NSString* deviceUID;
@property(atomic, copy) NSNumber* stream;
@end
#endif
