; Counts 0 to 9 on a seven-segment display on port B, over and over.
; wendrix-lint: page-bit 0 set "bsf STATUS,PA0" clear "bcf STATUS,PA0"
; wendrix-lint: page-bit 1 set "bsf STATUS,PA1" clear "bcf STATUS,PA1"
#include "regs.inc"

__FUSE    equ  WDT_OFF | OSC_RC
__FUSEX   equ  0
WDT_OFF   equ  $000
OSC_RC    equ  $003
DIGITS    equ  table_end - show - 1     ; forward references: the table is on page 1
OUTPUTS   equ  0

          org  0
start     movlw  OUTPUTS
          tris   PORTB
          clrf   count
loop      movf   count,w
          bsf    STATUS,PA0             ; select page 1 for the call
          bcf    STATUS,PA1
          call   show
          bcf    STATUS,PA0             ; and page 0 again for the goto
          movwf  PORTB
          incf   count,f
          movlw  DIGITS
          subwf  count,w
          btfsc  STATUS,Z
          clrf   count
          goto   loop

#include "table.inc"

          org  $7FF                     ; the device starts here, with page 0 selected
          goto   start
