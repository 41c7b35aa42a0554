; Code on two pages. A goto or call that leaves its page, and a call into the second half of
; a page, draw warnings: the device needs its page bits set before such a jump. (The comments
; tell wendrix-lint that these two are meant, for a shipped example is clean under --werror.)
__FUSE    equ  $FFF
__FUSEX   equ  $FFF

          org  $000
start     clrf   $06
          goto   far_task            ; page 0 -> page 1: warned; wendrix-lint: ignore page
near      call   helper              ; same page, first half: fine
          goto   near

helper    ret

          org  $200
far_task  bsf    $06, 0
          call   far_helper          ; same page, first half
          call   late                ; second half of page 1: warned; wendrix-lint: ignore call-second-half
          goto   far_task

far_helper ret

          org  $300
late      ret
