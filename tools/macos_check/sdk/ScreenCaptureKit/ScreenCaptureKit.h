#pragma once
// Check-only: the ScreenCaptureKit classes and protocols the helper uses
// (Objective-C; macOS 12.3+, audio 13.0+).

#include <CoreMedia/CoreMedia.h>
#include <dispatch/dispatch.h>

#ifdef __OBJC__
#import <Foundation/Foundation.h>

// CoreGraphics: a display's number.
typedef uint32_t CGDirectDisplayID;

// https://developer.apple.com/documentation/screencapturekit/scstreamoutputtype
// (values from the screencapturekit-rs enum page)
typedef enum SCStreamOutputType : NSInteger SCStreamOutputType;
enum SCStreamOutputType : NSInteger {
  SCStreamOutputTypeScreen = 0,
  SCStreamOutputTypeAudio = 1,       // 13.0+
  SCStreamOutputTypeMicrophone = 2,  // 15.0+
};

@class SCStream;

// https://developer.apple.com/documentation/screencapturekit/scdisplay (URL pattern;
// attributes unverified)
@interface SCDisplay : NSObject
@property(readonly) CGDirectDisplayID displayID;
@property(readonly) NSInteger width;
@property(readonly) NSInteger height;
@end

// https://developer.apple.com/documentation/screencapturekit/scwindow
@interface SCWindow : NSObject
@end

// https://developer.apple.com/documentation/screencapturekit/scshareablecontent/getexcludingdesktopwindows(_:onscreenwindowsonly:completionhandler:)
// The handler runs on a framework queue; what it is passed is borrowed.
@interface SCShareableContent : NSObject
+ (void)getShareableContentExcludingDesktopWindows:(BOOL)excludeDesktopWindows
                               onScreenWindowsOnly:(BOOL)onScreenWindowsOnly
                                 completionHandler:(void (^)(SCShareableContent* shareableContent,
                                                             NSError* error))completionHandler;
@property(readonly) NSArray* displays;
@end

// https://developer.apple.com/documentation/screencapturekit/sccontentfilter/init(display:excludingwindows:)
@interface SCContentFilter : NSObject
- (instancetype)initWithDisplay:(SCDisplay*)display excludingWindows:(NSArray*)excluded;
@end

// https://developer.apple.com/documentation/screencapturekit/scstreamconfiguration/capturesaudio
// .../excludescurrentprocessaudio; width, height, minimumFrameInterval from the
// objc2-screen-capture-kit SCStreamConfiguration page (sampleRate, channelCount,
// queueDepth types unverified)
@interface SCStreamConfiguration : NSObject
@property BOOL capturesAudio;
@property BOOL excludesCurrentProcessAudio;
@property NSInteger sampleRate;
@property NSInteger channelCount;
@property NSInteger queueDepth;
@property size_t width;
@property size_t height;
@property CMTime minimumFrameInterval;
@end

// https://developer.apple.com/documentation/screencapturekit/scstreamoutput/stream(_:didoutputsamplebuffer:of:)
@protocol SCStreamOutput <NSObject>
@optional
- (void)stream:(SCStream*)stream
    didOutputSampleBuffer:(CMSampleBufferRef)sampleBuffer
                   ofType:(SCStreamOutputType)type;
@end

// https://developer.apple.com/documentation/screencapturekit/scstreamdelegate/stream(_:didstopwitherror:)
@protocol SCStreamDelegate <NSObject>
@optional
- (void)stream:(SCStream*)stream didStopWithError:(NSError*)error;
@end

// https://developer.apple.com/documentation/screencapturekit/scstream/init(filter:configuration:delegate:)
// addStreamOutput and startCapture selectors from the .NET ScreenCaptureKit pages.
@interface SCStream : NSObject
- (instancetype)initWithFilter:(SCContentFilter*)contentFilter
                 configuration:(SCStreamConfiguration*)streamConfig
                      delegate:(id<SCStreamDelegate>)delegate;
- (BOOL)addStreamOutput:(id<SCStreamOutput>)output
                   type:(SCStreamOutputType)type
     sampleHandlerQueue:(dispatch_queue_t)sampleHandlerQueue
                  error:(NSError**)error;
- (void)startCaptureWithCompletionHandler:(void (^)(NSError* error))completionHandler;
// .../scstream/stopcapture(completionhandler:) (URL pattern)
- (void)stopCaptureWithCompletionHandler:(void (^)(NSError* error))completionHandler;
@end
#endif
