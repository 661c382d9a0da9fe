#include "system_audio/coreaudio/tap_description.h"

#include "system_audio/coreaudio/device_name.h"

namespace system_audio {

using namespace apple;

Result<NsRef<CATapDescription>> create_tap_description(NSArray* exclusion_list,
                                                       NSString* device_uid) {
  CATapDescription* allocated = CATapDescription_alloc();
  if (allocated == nullptr) return fail("CoreAudio process taps are not available on this system");
  NsRef<CATapDescription> description(CATapDescription_initWithProcesses_andDeviceUID_withStream(
      allocated, exclusion_list, device_uid, 0));
  if (!description) return fail("CoreAudio could not create the tap description");
  return description;
}

Result<void> configure_tap_description(CATapDescription* description) {
  {
    NsRef<NSString> name(NSString_alloc_initWithBytes_length_encoding(
        DEVICE_NAME.data(), DEVICE_NAME.size(), NSUTF8StringEncoding));
    if (!name) return fail("CoreAudio could not create the tap name");
    CATapDescription_setName(description, name.get());
  }
  CATapDescription_setMixdown(description, true);
  CATapDescription_setMono(description, true);
  CATapDescription_setExclusive(description, true);
  CATapDescription_setPrivate(description, true);
  CATapDescription_setMuteBehavior(description, CATapUnmuted);
  return {};
}

}  // namespace system_audio
