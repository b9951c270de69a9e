object mainForm: TmainForm
  Left = 0
  Top = 0
  BorderStyle = bsSingle
  Caption = 'KAVORIN Tizen Installer'
  ClientHeight = 599
  ClientWidth = 844
  Color = clBtnFace
  Constraints.MaxHeight = 625
  Constraints.MaxWidth = 850
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -16
  Font.Name = 'Tahoma'
  Font.Style = []
  Icon = 'MAINICON'
  OldCreateOrder = False
  Position = poDesktopCenter
  OnCreate = FormCreate
  PixelsPerInch = 96
  TextHeight = 19
  object langRG: TRadioGroup
    Left = 757
    Top = 0
    Width = 84
    Height = 73
    Caption = 'Язык'
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWindowText
    Font.Height = -16
    Font.Name = 'Tahoma'
    Font.Style = []
    ItemIndex = 0
    Items.Strings = (
      'РУС'
      'ENG')
    ParentFont = False
    TabOrder = 0
    OnClick = langRGClick
  end
  object ipGB: TGroupBox
    Left = 3
    Top = 0
    Width = 752
    Height = 73
    Caption = 'IP Адрес ПК:'
    TabOrder = 1
    object ipValLBL: TLabel
      Left = 8
      Top = 19
      Width = 608
      Height = 40
      Alignment = taCenter
      AutoSize = False
      Color = clBtnFace
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clRed
      Font.Height = -27
      Font.Name = 'Tahoma'
      Font.Style = [fsBold]
      ParentColor = False
      ParentFont = False
    end
    object ipNoteLbl: TLabel
      Left = 8
      Top = 55
      Width = 549
      Height = 13
      Caption = 
        '* Если отображается более одного IP адреса - используйте тот ко' +
        'торый расположен в одной подсети с ТВ'
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clWindowText
      Font.Height = -11
      Font.Name = 'Tahoma'
      Font.Style = []
      ParentFont = False
    end
    object refreshIpBTN: TButton
      Left = 622
      Top = 14
      Width = 123
      Height = 52
      Caption = 'Обновить IP'
      TabOrder = 0
      OnClick = refreshIpBTNClick
    end
  end
  object installGB: TGroupBox
    Left = 3
    Top = 451
    Width = 838
    Height = 145
    Caption = 'Установка виджета'
    TabOrder = 2
    object tvIpLbl: TLabel
      Left = 3
      Top = 72
      Width = 113
      Height = 39
      Alignment = taRightJustify
      AutoSize = False
      Caption = 'IP Адрес телевизора'
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clWindowText
      Font.Height = -16
      Font.Name = 'Tahoma'
      Font.Style = [fsBold]
      ParentFont = False
      WordWrap = True
    end
    object statusLbl: TLabel
      Left = 3
      Top = 20
      Width = 526
      Height = 46
      Alignment = taCenter
      AutoSize = False
      Caption = 
        'Введите IP вашего ТВ, Выберите его серию, Нажмите "Установить ви' +
        'джет"'
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clRed
      Font.Height = -19
      Font.Name = 'Tahoma'
      Font.Style = [fsBold]
      ParentFont = False
      Layout = tlCenter
      WordWrap = True
    end
    object tvIpEdt: TEdit
      Left = 122
      Top = 73
      Width = 512
      Height = 41
      Alignment = taCenter
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clRed
      Font.Height = -27
      Font.Name = 'Tahoma'
      Font.Style = [fsBold]
      ParentFont = False
      TabOrder = 0
      OnKeyPress = tvIpEdtKeyPress
    end
    object BitInstall: TBitBtn
      Left = 640
      Top = 72
      Width = 192
      Height = 39
      Caption = 'Установить виджет'
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clWindowText
      Font.Height = -16
      Font.Name = 'Tahoma'
      Font.Style = []
      Glyph = 'INSTALLGLYPH'
      ParentFont = False
      TabOrder = 1
      OnClick = BitInstallClick
    end
    object installPB: TProgressBar
      Left = 7
      Top = 119
      Width = 825
      Height = 18
      TabOrder = 2
    end
    object tvSeriesRG: TRadioGroup
      Left = 552
      Top = 9
      Width = 280
      Height = 57
      Caption = 'Серия ТВ'
      Columns = 2
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clWindowText
      Font.Height = -16
      Font.Name = 'Tahoma'
      Font.Style = []
      ItemIndex = 0
      Items.Strings = (
        'J,K'
        'M,N,Q,R,T,A,B')
      ParentFont = False
      TabOrder = 3
    end
  end
  object instManualGB: TGroupBox
    Left = 3
    Top = 73
    Width = 838
    Height = 379
    Caption = 'Инструкция по установке'
    TabOrder = 3
    object manualLbl: TLabel
      Left = 11
      Top = 21
      Width = 824
      Height = 351
      AutoSize = False
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clWindowText
      Font.Height = -15
      Font.Name = 'Tahoma'
      Font.Style = []
      ParentFont = False
      WordWrap = True
    end
  end
end
