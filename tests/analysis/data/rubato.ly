\version "2.24.0"

% A test piece for the onset analysis (tests/analysis): a melody alone on a
% General MIDI piano, played with strong rubato. Written for Folivant; public
% domain.
%
% The tempo changes on every eighth note: within each four-bar phrase the
% quarter note runs from 104 beats per minute up to 40 % faster, back down to
% 40 % slower and back to 104 (a sine over the phrase). scripts/make-test-pieces
% renders the MIDI file and reads the moment of every melody note from the
% engraver `melody-note-logger`, which tags each note head of the melody voice
% with its moment, bar and MIDI key (written as attributes by the SVG backend).

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
  d'4\mf f'8 e' d' f' | a'2 a'4 | bes'8 a' g' f' e' d' | e'2. |
  f'4\p g'8 f' e' d' | c'4 f' a' | g'8 f' e' d' cis' e' | d'2. |
  a'4\f c''8 bes' a' g' | f'4 d'' c'' | bes'8 a' g' a' bes' g' | a'2. |
  d''4\mp c''8 bes' a' g' | f'4 g' a' | bes'8 a' g' f' e' cis' | d'2. \bar "|."
}

music = \new Staff \with { midiInstrument = "acoustic grand" } <<
  \key d \minor \time 3/4
  \new Voice { \rubato 104 0.4 24 96 }
  \new Voice \with { \consists #melody-note-logger } \melody
>>

\score { \music \layout {} }
\score { \music \midi {} }
