" Wendrix sources: a .asm or .inc file in a directory that holds an inst.dat.
autocmd BufRead,BufNewFile *.asm,*.inc
      \ if filereadable(expand('<afile>:p:h') . '/inst.dat') | set filetype=wendrix | endif
