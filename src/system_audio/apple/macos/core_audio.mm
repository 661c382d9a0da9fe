// The process tap's Objective-C half and the IO block factory over CoreAudio
// (manual reference counting). The HAL's plain C calls are the SDK's own.

#include <Block.h>
#include <CoreAudio/AudioHardware.h>
#include <CoreAudio/AudioHardwareTapping.h>
#include <CoreAudio/CATapDescription.h>
#import <Foundation/Foundation.h>

#include "system_audio/apple/core_audio.h"
#include "system_audio/apple/macos/block_context.h"
#include "system_audio/apple/macos/bridge.h"

namespace system_audio::apple {

using macos::to_class;
using macos::to_platform;

CATapDescription* CATapDescription_alloc() {
  // The class exists on every system the build targets (14.2 and later).
  return to_platform<CATapDescription>([::CATapDescription alloc]);
}

CATapDescription* CATapDescription_initWithProcesses_andDeviceUID_withStream(CATapDescription* self,
                                                                             NSArray* processes,
                                                                             NSString* deviceUID,
                                                                             NSInteger stream) {
  // The 14.2 initialiser: with exclusive YES its processes are those left out,
  // the tap that -initExcludingProcesses:... (14.5 and later only) describes.
  // That both tap alike, and that an empty list leaves nothing out, is
  // unverified: only a run on 14.2 can show it.
  return to_platform<CATapDescription>([to_class<::CATapDescription>(self)
      initWithProcesses:to_class<::NSArray>(processes)
           andDeviceUID:to_class<::NSString>(deviceUID)
             withStream:stream]);
}

void CATapDescription_setName(CATapDescription* self, NSString* name) {
  [to_class<::CATapDescription>(self) setName:to_class<::NSString>(name)];
}

void CATapDescription_setMixdown(CATapDescription* self, BOOL mixdown) {
  [to_class<::CATapDescription>(self) setMixdown:mixdown];
}

void CATapDescription_setMono(CATapDescription* self, BOOL mono) {
  [to_class<::CATapDescription>(self) setMono:mono];
}

void CATapDescription_setExclusive(CATapDescription* self, BOOL exclusive) {
  [to_class<::CATapDescription>(self) setExclusive:exclusive];
}

void CATapDescription_setPrivate(CATapDescription* self, BOOL isPrivate) {
  // The property is privateTap, with getter isPrivate and setter setPrivate:.
  [to_class<::CATapDescription>(self) setPrivate:isPrivate];
}

void CATapDescription_setMuteBehavior(CATapDescription* self, CATapMuteBehavior behavior) {
  [to_class<::CATapDescription>(self)
      setMuteBehavior:static_cast<::CATapMuteBehavior>(static_cast<NSInteger>(behavior))];
}

OSStatus AudioHardwareCreateProcessTap(CATapDescription* inDescription, AudioObjectID* outTapID) {
  return ::AudioHardwareCreateProcessTap(to_class<::CATapDescription>(inDescription), outTapID);
}

OSStatus AudioHardwareDestroyProcessTap(AudioObjectID inTapID) {
  return ::AudioHardwareDestroyProcessTap(inTapID);
}

AudioDeviceIOBlock AudioDeviceIOBlock_create(AudioDeviceIOBlockInvoke invoke, void* context,
                                             BlockDispose dispose) {
  auto owner = macos::own_block_context(context, dispose);
  if (!owner) return nullptr;
  AudioDeviceIOBlock literal = ^(const AudioTimeStamp* inNow, const AudioBufferList* inInputData,
                                 const AudioTimeStamp* inInputTime, AudioBufferList* outOutputData,
                                 const AudioTimeStamp* inOutputTime) {
    invoke(owner->context, inNow, inInputData, inInputTime, outOutputData, inOutputTime);
  };
  // nullptr when the copy cannot be made; the literal's owner then disposes.
  return Block_copy(literal);
}

AudioObjectPropertyListenerBlock AudioObjectPropertyListenerBlock_create(
    AudioObjectPropertyListenerBlockInvoke invoke, void* context, BlockDispose dispose) {
  auto owner = macos::own_block_context(context, dispose);
  if (!owner) return nullptr;
  AudioObjectPropertyListenerBlock literal =
      ^(UInt32 inNumberAddresses, const AudioObjectPropertyAddress* inAddresses) {
        invoke(owner->context, inNumberAddresses, inAddresses);
      };
  return Block_copy(literal);
}

}  // namespace system_audio::apple
