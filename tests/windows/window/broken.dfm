object mainForm: TmainForm
  Caption = 'KAVORIN Tizen Installer'
  ClientHeight = 599
  ClientWidth = 844
  object langRG: TRadioGroup
    Left = 757
    Top = 0
    Width = 84
    Heigth = 73
  end
end
