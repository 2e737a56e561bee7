\version "2.24.0"
\paper { #(set-paper-size "a4") ragged-last-bottom = ##f indent = 0 print-page-number = ##f tagline = ##f
  system-count = #8 systems-per-page = #4 }
\header { title = "Steady Bars 32" }
\score { \new Staff { \clef treble \key c \major \time 4/4 \override Score.BarNumber.break-visibility = ##(#f #f #f)
c'4 d'4 e'4 f'4 |
f'4 g'4 a'4 b'4 |
b'4 c''4 c'4 d'4 |
d'4 e'4 f'4 g'4 \break |
g'4 a'4 b'4 c''4 |
c''4 c'4 d'4 e'4 |
e'4 f'4 g'4 a'4 |
a'4 b'4 c''4 c'4 \break |
c'4 d'4 e'4 f'4 |
f'4 g'4 a'4 b'4 |
b'4 c''4 c'4 d'4 |
d'4 e'4 f'4 g'4 \break |
g'4 a'4 b'4 c''4 |
c''4 c'4 d'4 e'4 |
e'4 f'4 g'4 a'4 |
a'4 b'4 c''4 c'4 \break |
c'4 d'4 e'4 f'4 |
f'4 g'4 a'4 b'4 |
b'4 c''4 c'4 d'4 |
d'4 e'4 f'4 g'4 \break |
g'4 a'4 b'4 c''4 |
c''4 c'4 d'4 e'4 |
e'4 f'4 g'4 a'4 |
a'4 b'4 c''4 c'4 \break |
c'4 d'4 e'4 f'4 |
f'4 g'4 a'4 b'4 |
b'4 c''4 c'4 d'4 |
d'4 e'4 f'4 g'4 \break |
g'4 a'4 b'4 c''4 |
c''4 c'4 d'4 e'4 |
e'4 f'4 g'4 a'4 |
a'4 b'4 c''4 c'4 |
\bar "|." } \layout { } }
