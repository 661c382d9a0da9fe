#pragma once
// Check-only: the ScreenCaptureKit classes and protocols the helper uses
// (Objective-C; macOS 12.3+, audio 13.0+), as the macOS 14.2 SDK declares
// them (SCShareableContent and the error codes: the 14.0 SDK's headers).
// Unavailable initialisers are marked so, which GNUstep's NS_UNAVAILABLE is not.

#include <CoreMedia/CoreMedia.h>
#include <dispatch/dispatch.h>

#ifdef __OBJC__
#import <Foundation/Foundation.h>

// CoreGraphics: a display's number.
typedef uint32_t CGDirectDisplayID;

// NS_ENUM(NSInteger, SCStreamOutputType). Microphone (2) is macOS 15.0+ and
// not in the 14.2 SDK.
typedef enum SCStreamOutputType : NSInteger SCStreamOutputType;
enum SCStreamOutputType : NSInteger {
  SCStreamOutputTypeScreen,
  SCStreamOutputTypeAudio,  // 13.0+
};

// NS_ERROR_ENUM(SCStreamErrorDomain, SCStreamErrorCode); the domain's string
// value is not in the header: compare with the symbol.
extern NSString* const _Nonnull SCStreamErrorDomain;
typedef enum SCStreamErrorCode : NSInteger SCStreamErrorCode;
enum SCStreamErrorCode : NSInteger {
  SCStreamErrorUserDeclined = -3801,
  SCStreamErrorFailedToStart = -3802,
  SCStreamErrorMissingEntitlements = -3803,
  SCStreamErrorAttemptToStartStreamState = -3807,
  SCStreamErrorAttemptToStopStreamState = -3808,
  SCStreamErrorInternalError = -3811,
  SCStreamErrorInvalidParameter = -3812,
  SCStreamErrorNoCaptureSource = -3815,
  SCStreamErrorUserStopped = -3817,                // 12.3+
  SCStreamErrorFailedToStartAudioCapture = -3818,  // 13.0+
  SCStreamErrorFailedToStopAudioCapture = -3819,   // 13.0+
};

@class SCStream;

@interface SCDisplay : NSObject
@property(readonly) CGDirectDisplayID displayID;
@property(readonly) NSInteger width;  // points
@property(readonly) NSInteger height;
- (instancetype)init __attribute__((unavailable));
+ (instancetype)new __attribute__((unavailable));
@end

@interface SCWindow : NSObject
@end

// The handler runs on a framework queue; what it is passed is borrowed.
@interface SCShareableContent : NSObject
+ (void)getShareableContentExcludingDesktopWindows:(BOOL)excludeDesktopWindows
                               onScreenWindowsOnly:(BOOL)onScreenWindowsOnly
                                 completionHandler:
                                     (void (^)(SCShareableContent* _Nullable shareableContent,
                                               NSError* _Nullable error))completionHandler;
@property(readonly) NSArray<SCDisplay*>* displays;
@end

@interface SCContentFilter : NSObject
- (instancetype)initWithDisplay:(SCDisplay*)display excludingWindows:(NSArray<SCWindow*>*)excluded;
@end

// Audio is off by default; stereo at 48 kHz.
@interface SCStreamConfiguration : NSObject
@property(nonatomic, assign) BOOL capturesAudio;                // 13.0+
@property(nonatomic, assign) BOOL excludesCurrentProcessAudio;  // 13.0+
@property(nonatomic, assign) NSInteger sampleRate;              // 13.0+
@property(nonatomic, assign) NSInteger channelCount;            // 13.0+
@property(nonatomic, assign) NSInteger queueDepth;
@property(nonatomic, assign) size_t width;
@property(nonatomic, assign) size_t height;
@property(nonatomic, assign) CMTime minimumFrameInterval;
@end

@protocol SCStreamOutput <NSObject>
@optional
- (void)stream:(SCStream*)stream
    didOutputSampleBuffer:(CMSampleBufferRef)sampleBuffer
                   ofType:(SCStreamOutputType)type;
@end

@protocol SCStreamDelegate <NSObject>
@optional
- (void)stream:(SCStream*)stream didStopWithError:(NSError*)error;
@end

// How the stream holds its delegate and outputs is not stated: the helper
// keeps its own references.
@interface SCStream : NSObject
- (instancetype)init __attribute__((unavailable));
+ (instancetype)new __attribute__((unavailable));
- (instancetype)initWithFilter:(SCContentFilter*)contentFilter
                 configuration:(SCStreamConfiguration*)streamConfig
                      delegate:(nullable id<SCStreamDelegate>)delegate;
- (BOOL)addStreamOutput:(id<SCStreamOutput>)output
                   type:(SCStreamOutputType)type
     sampleHandlerQueue:(nullable dispatch_queue_t)sampleHandlerQueue
                  error:(NSError**)error;
- (void)startCaptureWithCompletionHandler:
    (nullable void (^)(NSError* _Nullable error))completionHandler;
- (void)stopCaptureWithCompletionHandler:
    (nullable void (^)(NSError* _Nullable error))completionHandler;
@end
#endif
