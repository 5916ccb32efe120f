/* A small Glk program for the protocol tests, for what the test story cannot
   reach through glulxe; each step waits for the display's event. The Blorb of
   its picture and sound is its argument. */
#include "glk.h"

#include "gi_blorb.h"
#include "glkstart.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

glkunix_argumentlist_t glkunix_arguments[] = {
    {"", glkunix_arg_ValueFollows, "a Blorb file of pictures"},
    {NULL, glkunix_arg_End, NULL},
};

int glkunix_startup_code(glkunix_startup_t* data) {
    if (data->argc > 1) {
        strid_t blorb = glkunix_stream_open_pathname(data->argv[1], 0, 0);
        if (blorb)
            giblorb_set_resource_map(blorb);
    }
    return 1;
}

static void wait_for(glui32 type, event_t* event) {
    do
        glk_select(event);
    while (event->type != type);
}

static void say(const char* format, ...) {
    char text[200];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    glk_put_string(text);
}

void glk_main(void) {
    char line[32];
    glui32 terminators[] = {keycode_Escape};
    event_t event;

    winid_t story = glk_window_open(NULL, 0, 0, wintype_TextBuffer, 1);
    winid_t status =
        glk_window_open(story, winmethod_Above | winmethod_Fixed, 2, wintype_TextGrid, 2);
    winid_t picture =
        glk_window_open(story, winmethod_Right | winmethod_Proportional, 25, wintype_Graphics, 3);
    glk_set_window(story);
    say("Probe.\n");

    glk_window_move_cursor(status, 0, 1);
    glk_put_string_stream(glk_window_get_stream(status), "Go: ");
    glk_set_terminators_line_event(status, terminators, 1);
    glk_request_line_event(status, line, 10, 0);
    wait_for(evtype_LineInput, &event);
    say("Grid line \"%.*s\", terminator %u.\n", (int)event.val1, line, (unsigned)event.val2);

    glk_set_echo_line_event(story, 0);
    strcpy(line, "abc");
    glk_request_line_event(story, line, sizeof line, 3);
    wait_for(evtype_Arrange, &event);
    glk_cancel_line_event(story, &event);
    say("Cancelled \"%.*s\".\n", (int)event.val1, line);

    glk_window_set_background_color(picture, 0x000080);
    glk_window_clear(picture);
    glk_window_fill_rect(picture, 0xFF0000, 1, 2, 3, 4);
    say("Picture %s.\n", glk_image_draw(picture, 1, 5, 6) ? "drawn" : "missing");

    glk_set_hyperlink(7);
    say("Down");
    glk_set_hyperlink(0);
    glk_window_move_cursor(status, 0, 0);
    glk_set_hyperlink_stream(glk_window_get_stream(status), 8);
    glk_put_string_stream(glk_window_get_stream(status), "Up");
    glk_request_hyperlink_event(story);
    glk_request_hyperlink_event(status);
    wait_for(evtype_Hyperlink, &event);
    say("\nLink %u in window %u.\n", (unsigned)event.val1,
        (unsigned)glk_window_get_rock(event.win));

    glk_request_timer_events(1000);
    glk_select_poll(&event);
    say("Polled %u", (unsigned)event.type);
    glk_select_poll(&event);
    say(", then %u.\n", (unsigned)event.type);

    schanid_t chan = glk_schannel_create_ext(7, 0x8000);
    glui32 missing = glk_schannel_play(glk_schannel_create(8), 9);
    glk_schannel_play_ext(chan, 3, 2, 11);
    glk_schannel_set_volume_ext(chan, 0x10000, 500, 12);
    wait_for(evtype_VolumeNotify, &event);
    wait_for(evtype_SoundNotify, &event);
    glk_schannel_destroy(chan);
    say("Sound %u ended, notify %u; sound 9 %s.\n", (unsigned)event.val1, (unsigned)event.val2,
        missing ? "played" : "missing");
}
