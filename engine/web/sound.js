// The default beep: a short tone, and a count on the page that tests read.
let audio = null;

export function beep() {
    document.body.dataset.beeps = String((Number(document.body.dataset.beeps) || 0) + 1);
    try {
        audio = audio || new AudioContext();
        if (audio.state === 'suspended') audio.resume();
        const tone = audio.createOscillator(), gain = audio.createGain();
        tone.frequency.value = 800;
        gain.gain.value = 0.08;
        tone.connect(gain).connect(audio.destination);
        tone.start();
        tone.stop(audio.currentTime + 0.15);
    } catch (error) {
        // No audio device: the beep is only counted.
    }
}
