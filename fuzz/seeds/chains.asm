__FUSE equ a + 1
__FUSEX equ b
a	equ	b * 2
b	equ	c - 1
c	equ	end - start
	org	d
start	nop
	ds	n
	goto	start
	call	end
n	equ	2
d	equ	$10
	org	later
	load	a, 5
later	equ	$40
end	nop
