" Vim syntax file for Wendrix sources, for editors without the language server's semantic
" tokens. The mnemonics are the program's own (inst.dat), so the field after the label is one.
if exists('b:current_syntax')
  finish
endif
syntax case ignore

" A label starts in column 0; the mnemonic is the next field; operands follow.
syntax match wendrixLabel /^[^ \t;]\+/ nextgroup=wendrixMnemonic skipwhite
syntax match wendrixMnemonic /\%(^\s\+\)\@<=[^ \t;,]\+/ contains=wendrixDirective
syntax match wendrixMnemonic /[^ \t;,]\+/ contained contains=wendrixDirective
syntax keyword wendrixDirective org equ ds contained
syntax match wendrixInclude /^\s*#include\>/
syntax match wendrixNumber /\$\x\+\|\<0x\x\+\>\|\<\d\+\>\|\<[bdh]'[^']*'/
syntax match wendrixComment /;.*$\|\/\/.*$/

highlight default link wendrixLabel Label
highlight default link wendrixMnemonic Statement
highlight default link wendrixDirective PreProc
highlight default link wendrixInclude Include
highlight default link wendrixNumber Number
highlight default link wendrixComment Comment

let b:current_syntax = 'wendrix'
