// Which player started the current playback on the sound card, so each Stop stops only its own sound.
#pragma once

struct PlaybackFlags
{
    bool ListPlaying = false;      // the call list's player, walking message after message
    bool QuickPlaying = false;     // greeting preview of the quick strip
    bool OptionsPlaying = false;   // greeting preview of the options dialog
    bool RingSoundPlaying = false; // ring-sound preview of the events dialog
    bool IdleSoundPlaying = false; // end-of-call-sound preview of the events dialog

    // Message playback takes the sound card over from every preview.
    void clearPreviews() { QuickPlaying = OptionsPlaying = RingSoundPlaying = IdleSoundPlaying = false; }
};
