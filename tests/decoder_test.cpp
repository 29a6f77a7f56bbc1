// Placeholder until the WAV and Vorbis decoder tests land.
