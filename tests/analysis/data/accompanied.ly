\version "2.24.0"

% A test piece for the onset analysis (tests/analysis): a melody in chords over
% an accompaniment on a General MIDI piano. The bass plays on the beats, soft
% dyads on the off-beats between the melody's notes. Written for Folivant;
% public domain.
%
% The tempo changes on every eighth note: within each four-bar phrase the
% quarter note runs from 84 beats per minute up to 25 % faster, down to 25 %
% slower and back (a sine over the phrase). scripts/make-test-pieces renders
% the MIDI file and reads the moment of every melody note from the engraver
% `melody-note-logger`, which tags each note head of the melody voice with its
% moment, bar and MIDI key (written as attributes by the SVG backend); the top
% head of a chord is the melody note.

#(define (melody-note-logger context)
  (make-engraver
   (acknowledgers
    ((note-head-interface engraver grob source-engraver)
     (let ((moment (ly:moment-main (ly:context-current-moment context)))
           (bar (ly:context-property context 'currentBarNumber))
           (pitch (ly:event-property (event-cause grob) 'pitch)))
       (ly:grob-set-property!
        grob 'output-attributes
        (list (cons 'class "melody-note")
              (cons 'data-moment (format #f "~a" moment))
              (cons 'data-bar (format #f "~a" bar))
              (cons 'data-key (format #f "~a" (+ 60 (ly:pitch-semitones pitch)))))))))))

% One tempo per eighth note for `count` eighths: quarter = base * (1 + depth *
% sin(2 pi k / phrase)) at the k-th eighth.
rubato =
#(define-music-function (base depth phrase count) (number? number? integer? integer?)
  (make-sequential-music
   (map (lambda (k)
          (let ((bpm (inexact->exact
                      (round (* base (+ 1 (* depth (sin (/ (* 2 3.141592653589793 k)
                                                          phrase)))))))))
            #{ \set Score.tempoWholesPerMinute = #(ly:make-moment bpm 4) s8 #}))
        (iota count))))

melody = {
  <d' g' b'>4\f <d' fis' a'> <d' g' b'>8 c'' <g' d''>4 |
  <g' e''>4 <g' d''> <fis' c''> <g' b'> |
  <e' a'>4 b'8 c'' <fis' d''>4 <fis' a'> |
  <d' g'>2 <d' fis' a'> |
  <g' b'>4 <g' c''>8 d'' <g' e''>4 <a' fis''> |
  <b' g''>4 <a' fis''> <g' e''> <fis' d''> |
  <e' c''>4 <g' e''>8 d'' <fis' c''>4 <d' b'> |
  <c' e' a'>2 <d' fis' a'> |
  <d' g' b'>4 <e' g' c''> <fis' a' d''> <fis' c''> |
  <d' g' b'>1 \bar "|."
}

bass = {
  g,4\mp d g, d | c g, c g, | a, e d a, | g, d d a, |
  g, d c g, | g, d d a, | c g, d a, | a, e d a, |
  g, d d a, | g, d g,2 |
}

offbeats = {
  r8 <b, d>\p r <b, d> r <b, d> r <b, d> | r <e g> r <e g> r <e g> r <e g> |
  r <c e> r <c e> r <fis a> r <fis a> | r <b, d> r <b, d> r <fis a> r <fis a> |
  r <b, d> r <b, d> r <e g> r <e g> | r <b, d> r <b, d> r <fis a> r <fis a> |
  r <e g> r <e g> r <fis a> r <fis a> | r <c e> r <c e> r <fis a> r <fis a> |
  r <b, d> r <b, d> r <fis a> r <fis a> | r <b, d> r <b, d> r2 |
}

music = \new PianoStaff <<
  \new Staff = "right" \with { midiInstrument = "acoustic grand" } <<
    \key g \major \time 4/4
    \new Voice { \rubato 84 0.25 32 80 }
    \new Voice \with { \consists #melody-note-logger } \melody
  >>
  \new Staff = "left" \with { midiInstrument = "acoustic grand" } <<
    \clef bass \key g \major \time 4/4
    \new Voice { \voiceOne \offbeats }
    \new Voice { \voiceTwo \bass }
  >>
>>

\score { \music \layout {} }
\score { \music \midi {} }
