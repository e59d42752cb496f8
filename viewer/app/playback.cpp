#include "viewer/app/playback.h"
#include "viewer/app/open.h"
#include "viewer/app/state.h"
#include "viewer/app/window.h"

#include <GL/freeglut.h>

namespace vv {

namespace {

// One frame a tick when the reader has it ready, else the next tick tries
// again.
void tick(int) {
    Player &player = *app.player;
    if (!player.playing) {
        app.ticking = false;
        return;
    }
    const std::size_t k = player.target(Player::Step::Forward);
    std::string error;
    switch (app.reader->take(k, player.frame(), error)) {
    case FrameReader::Got::Ready:
        show_frame(k);
        break;
    case FrameReader::Got::Failed:
        complain(error);
        player.playing = app.ticking = false;
        player.settle();
        retitle();
        glutPostRedisplay();
        return;
    case FrameReader::Got::NotYet:
        app.reader->request(k);
        break;
    }
    glutTimerFunc(static_cast<unsigned int>(1000 / player.fps), tick, 0);
}

// How often the main thread looks whether the whole-run pass has ended.
constexpr unsigned int kPassPoll = 50; // ms

void watch_pass(int) {
    Player &player = *app.player;
    std::string error;
    if (!player.poll_pass(error)) {
        if (player.pass_running())
            glutTimerFunc(kPassPoll, watch_pass, 0);
        return;
    }
    // A bad frame: told once; the window stays, with what the frames before
    // it told, and stepping onto it tells it again.
    if (!error.empty())
        complain(error);
    else
        complain_skipped();
    retitle();
    glutPostRedisplay();
}

} // namespace

void watch_whole_run() {
    if (app.player && app.player->pass_running())
        glutTimerFunc(kPassPoll, watch_pass, 0);
}

void show_frame(std::size_t k) {
    app.player->show(k);
    app.reader->request(app.player->target(Player::Step::Forward));
    retitle();
    glutPostRedisplay();
}

void go_to(Player::Step step) {
    seek(app.player->target(step));
}

void seek(std::size_t k) {
    std::string error;
    app.reader->request(k);
    const FrameReader::Got got = app.reader->wait(k, app.player->frame(), error);
    if (got == FrameReader::Got::Failed)
        complain(error);
    else if (got == FrameReader::Got::Ready)
        show_frame(k);
}

bool playback_key(unsigned char key) {
    Player &player = *app.player;
    if (key == ' ') {
        player.playing = !player.playing;
        if (player.playing && !app.ticking) {
            app.ticking = true;
            glutTimerFunc(0, tick, 0);
        }
        if (player.settle()) // the whole run's fit, held back while playing
            glutPostRedisplay();
    } else if (key == ',' || key == '<') {
        player.slower();
    } else if (key == '.' || key == '>') {
        player.faster();
    } else {
        return false;
    }
    retitle();
    return true;
}

void playback_special(int key) {
    if (key == GLUT_KEY_LEFT)
        go_to(Player::Step::Back);
    else if (key == GLUT_KEY_RIGHT)
        go_to(Player::Step::Forward);
    else if (key == GLUT_KEY_HOME)
        go_to(Player::Step::First);
    else if (key == GLUT_KEY_END)
        go_to(Player::Step::Last);
}

} // namespace vv
