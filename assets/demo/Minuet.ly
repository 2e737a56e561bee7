\version "2.24.0"

% Minuet in G major, BWV Anh. 114 (Christian Petzold, from the 1725 notebook
% for Anna Magdalena Bach), public domain.  Abridged for the Folivant demo
% project to about 30 seconds: bars 1-8 (A), 17-24 (B) and 9-16 (A again,
% with its closing cadence), written out in that order.
%
% scripts/make-demo engraves this file, renders its MIDI and reads the place
% and moment of every melody note head from the engraver's own output: the
% engraver `melody-note-logger` below tags each note head of the melody voice
% with its moment, bar number, MIDI key and glyph extent, which the SVG
% backend writes as attributes of the note head's group.

#(define (melody-note-logger context)
  (let ((count 0))
    (make-engraver
     (acknowledgers
      ((note-head-interface engraver grob source-engraver)
       (set! count (1+ count))
       (let ((index count)
             (moment (ly:moment-main (ly:context-current-moment context)))
             (bar (ly:context-property context 'currentBarNumber))
             (pitch (ly:event-property (event-cause grob) 'pitch)))
         ;; Evaluated when the stencil is written out, so the glyph's
         ;; extent is known by then.
         (ly:grob-set-property!
          grob 'output-attributes
          (lambda (g)
            (let* ((stil (ly:grob-property g 'stencil))
                   (ext-x (ly:stencil-extent stil X))
                   (ext-y (ly:stencil-extent stil Y)))
              (list (cons 'id (format #f "melody-note-~a" index))
                    (cons 'class "melody-note")
                    (cons 'data-moment (format #f "~a" moment))
                    (cons 'data-bar (format #f "~a" bar))
                    (cons 'data-key (format #f "~a" (+ 60 (ly:pitch-semitones pitch))))
                    (cons 'data-extent
                          (format #f "~a ~a ~a ~a"
                                  (car ext-x) (cdr ext-x)
                                  (car ext-y) (cdr ext-y)))))))))))))

#(set-global-staff-size 26)

\paper {
  paper-size = "a4"
  top-margin = 14\mm
  bottom-margin = 14\mm
  left-margin = 16\mm
  right-margin = 16\mm
  ragged-bottom = ##f
  ragged-last-bottom = ##f
  tagline = ##f
  print-page-number = ##t
}

\header {
  title = "Minuet in G major"
  subtitle = "from the Notebook for Anna Magdalena Bach (1725)"
  composer = "Christian Petzold (1677-1733)"
  opus = "BWV Anh. 114"
  piece = "abridged: A - B - A"
}

melodyA = {
  d''4\mf g'8 a' b' c'' | d''4 g' g' | e''4 c''8 d'' e'' fis'' | g''4 g' g' |
  c''4 d''8 c'' b' a' | b'4 c''8 b' a' g' | fis'4 g'8 a' b' g' | a'2. |
}
melodyB = {
  b''4\mp g''8 a'' b'' g'' | a''4 d''8 e'' fis'' d'' | g''4 e''8 fis'' g'' d'' |
  cis''4 b'8 cis'' a'4 | a'8 b' cis'' d'' e'' fis'' | g''4 fis'' e'' |
  fis''4 a' cis'' | d''2. |
}
melodyAA = {
  d''4\mf g'8 a' b' c'' | d''4 g' g' | e''4 c''8 d'' e'' fis'' | g''4 g' g' |
  c''4 d''8 c'' b' a' | b'4 c''8 b' a' g' | a'4 b'8 a' g' fis' | g'2. \bar "|."
}

bassA = {
  <g b d'>2 a4 | b2. | c'2. | b2. | a2. | g2. | d'4 b g | d'4 d8 c' b a |
}
bassB = {
  g2. | fis2. | e2 g4 | a2 a,4 | a2. | b4 d' cis' | d'4 fis a | d'4 d c' |
}
bassAA = {
  b2 a4 | g4 b g | c'2. | b4 c'8 b a g | a2 fis4 | g2 b4 | c'4 d' d | g2 g,4 |
}

structure = {
  \tempo "Allegretto" 4 = 144
  \sectionLabel "A"
  s2.*2 \break s2.*2 \break s2.*2 \break s2.*2 \pageBreak
  \sectionLabel "B"
  s2.*2 \break s2.*2 \break s2.*2 \break s2.*2 \pageBreak
  \sectionLabel "A (da capo)"
  s2.*2 \break s2.*2 \break s2.*2 \break s2.*2
}

music = \new PianoStaff <<
  \new Staff = "right" \with { midiInstrument = "acoustic grand" } <<
    \key g \major \time 3/4
    \new Voice = "structure" { \structure }
    \new Voice = "melody" \with { \consists #melody-note-logger }
      { \melodyA \melodyB \melodyAA }
  >>
  \new Staff = "left" \with { midiInstrument = "acoustic grand" } {
    \clef bass \key g \major \time 3/4
    \bassA \bassB \bassAA
  }
>>

\score {
  \music
  \layout {
    \context {
      \Score
      \override NonMusicalPaperColumn.line-break-permission = ##f
      \override NonMusicalPaperColumn.page-break-permission = ##f
    }
  }
}

\score {
  \music
  \midi {}
}
