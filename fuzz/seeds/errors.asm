__FUSE equ x
__FUSEX equ 1/0
x	equ	y
y	equ	x
	org	lab + 1
lab	nop
	ds	1, 2
	org	0
	org
z	equ	1, 2
	goto	missing
