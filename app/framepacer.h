#ifndef FRAMEPACER_H
#define FRAMEPACER_H

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

// The pace of a picture that is drawn at most once a frame (a plot, the
// status line): nobody sees more than about framesPerSecond pictures a
// second. Knows when the picture was last drawn, and waits for the end of
// its frame for a picture asked for sooner.
class FramePacer : public QObject
{
public:
    static constexpr int framesPerSecond = 30;
    static constexpr int frameMs = 1000 / framesPerSecond;

    // atFrameEnd: what a wait for the end of the frame ends with.
    explicit FramePacer(std::function<void()> atFrameEnd);

    // The picture was drawn now.
    void drawn() { m_sinceDrawn.start(); }
    // Whether a whole frame has passed since the picture was last drawn, or
    // it never was.
    bool isFrameOver() const;
    // Calls atFrameEnd once the frame of the last picture is over; a wait
    // under way goes on as it is.
    void waitForFrameEnd();
    bool isWaiting() const { return m_frameEnd.isActive(); }
    void stopWaiting() { m_frameEnd.stop(); }

private:
    QElapsedTimer m_sinceDrawn;
    QTimer m_frameEnd;
};

#endif // FRAMEPACER_H
