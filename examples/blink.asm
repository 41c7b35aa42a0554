; Blinks an LED through a pattern held in a lookup table.
#include "ports.inc"

__FUSE    equ  OSC_INTERNAL | WDT_OFF
__FUSEX   equ  0
OSC_INTERNAL equ  $002
WDT_OFF   equ  $000

STEPS     equ  table_end - table     ; forward references: the table is further down
count     equ  $10
step      equ  $11

          org  0
reset     movlw  STEPS
          movwf  step
loop      movf   step,w
          call   pattern             ; W = pattern for this step
          movwf  PORTB
          call   delay
          decfsz step,f
          goto   loop
          goto   reset

delay     movlw  $FF
          movwf  count
spin      decfsz count,f
          goto   spin
          ret

pattern   addwf  PCL,f              ; computed jump into the table
table     retlw  B'00001000'
          retlw  B'00000000'
          retlw  B'00001000'
          retlw  B'00000000'
          retlw  B'00001000' | 1 << LED
table_end
