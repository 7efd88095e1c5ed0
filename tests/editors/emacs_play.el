;;; emacs_play.el --- quillshade-story-play-here starts the story at the line at point  -*- lexical-binding: t -*-

;; Opens a story, edits it without saving, puts point on a line reached only once an
;; answer has set a flag, and plays from there: the terminal must show that line, as
;; edited, and the keys that reached it.
;; Run as: STORY=... MODE=.../quillshade-story.el emacs --batch -l emacs_play.el
;; with the qsd to test first on PATH.

(load (getenv "MODE") nil t)
(find-file (getenv "STORY"))
(goto-char (point-min))
(forward-line 5)
(insert "Far ")
(quillshade-story-play-here)
(let ((deadline (+ (float-time) 20))
      (shown nil))
  (while (not shown)
    (when (> (float-time) deadline)
      (error "the terminal never showed line 6: %S" (with-current-buffer "*quillshade-play*" (buffer-string))))
    (accept-process-output nil 0.1)
    ;; The terminal wraps long lines where its window ends.
    (let ((seen (replace-regexp-in-string "\n" "" (with-current-buffer "*quillshade-play*" (buffer-string)))))
      (setq shown (and (string-match-p "reached line 6 by the keys 1ddddd, with A set" seen)
                       (string-match-p "Far Beyond the door, a garden\\." seen))))))
(message "Emacs: quillshade-story-play-here started at line 6")
(kill-emacs 0)
