// Until the audio server serves the screen-capture stand-in, its content
// request answers with an error, so that --backend=sck ends with an ERROR line.

#include "system_audio/platform/standin/screen_capture.h"

namespace system_audio::platform {

void SCShareableContent_getShareableContentExcludingDesktopWindows_onScreenWindowsOnly_completionHandler(
    BOOL, BOOL, SCShareableContentCompletionHandler completionHandler) {
  NSError* error = standin::make_error("no shareable content on this system");
  standin::invoke_block<SCShareableContentCompletionHandlerInvoke>(completionHandler, nullptr,
                                                                   error);
  standin::release(error, "internal");
}

SCStream* SCStream_initWithFilter_configuration_delegate(SCStream* self, SCContentFilter* filter,
                                                         SCStreamConfiguration* configuration,
                                                         VantleSckAudioOutput* delegate) {
  return standin::init_stream(self, filter, configuration, delegate);
}

BOOL SCStream_addStreamOutput_type_sampleHandlerQueue_error(SCStream* self,
                                                            VantleSckAudioOutput* output,
                                                            SCStreamOutputType,
                                                            dispatch_queue_t queue, NSError**) {
  return standin::attach_output(self, output, queue);
}

void SCStream_startCaptureWithCompletionHandler(SCStream*, SCStreamCompletionHandler) {}

}  // namespace system_audio::platform
